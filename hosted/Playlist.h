#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

class QIODevice;

// Playlist files that radio stations publish in place of a stream address: what kind an answer
// is, and the stream addresses it lists. Pure functions of bytes, safe on any input: nothing
// here fetches, and nothing grows beyond the bounds below.

enum class PlaylistKind {
    NotAPlaylist,
    Pls,  // [playlist] with File1=..., File2=...
    M3u,  // one address per line, # comments, with or without #EXTM3U
    Asx,  // <asx><entry><ref href="..."/></entry></asx>
    Xspf, // <playlist><trackList><track><location>...</location></track></trackList></playlist>
    Hls,  // an M3U8 with #EXT-X- tags: a segmented stream that GStreamer plays itself
};

struct Playlist
{
    PlaylistKind kind = PlaylistKind::NotAPlaylist;
    // Absolute stream addresses in the playlist's order, each one the player accepts (see
    // MediaPlayer::CleanStreamAddress); relative ones resolved against the playlist's address.
    // Always empty for Hls and NotAPlaylist.
    QStringList entries;
};

// A playlist is read up to this size; real ones are a few hundred bytes.
inline constexpr int kMaxPlaylistBytes = 64 * 1024;
// Entries kept of one playlist; the rest are ignored.
inline constexpr int kMaxPlaylistEntries = 32;
// XSPF elements nest three deep in a track; reading ends at an element nested deeper than this.
inline constexpr int kMaxXspfDepth = 64;

// Whether an answer that starts with `head` and carries `contentType` may still turn out to be
// a playlist, so that reading on is worth it. False for audio and video types and for bytes
// that are not text, which is how a look at a live stream ends at its first bytes.
bool MayBePlaylist(const QByteArray& contentType, const QByteArray& head);

// What the whole answer is: by its content type where that names a playlist, else by its
// content. The file name plays no part: a ".pls" address that answers with audio is audio.
PlaylistKind DetectPlaylist(const QByteArray& contentType, const QByteArray& content);

// The entries of `content` read as `kind`, resolved against `playlistAddress`.
QStringList PlaylistEntries(PlaylistKind kind, const QByteArray& content,
                            const QString& playlistAddress);

// One entry of a playlist with what the file says of it.
struct PlaylistItem
{
    QString address; // as in Playlist::entries
    QString title;   // M3U #EXTINF title, PLS TitleN, XSPF <title>; white space simplified
    QString group;   // M3U #EXTINF group-title
    int line = 0;    // 1-based line of the address in the file
};

// An entry left out because the player would not take its address.
struct RefusedPlaylistEntry
{
    QString text;
    int line = 0;
};

struct PlaylistItems
{
    std::vector<PlaylistItem> items;
    std::vector<RefusedPlaylistEntry> refused;
};

// The entries of `content` read as `kind` with their titles, at most `maxEntries` of them (a
// repeated address once, the first), and the ones refused: the reader behind PlaylistEntries.
PlaylistItems ReadPlaylistItems(PlaylistKind kind, const QByteArray& content,
                                const QString& playlistAddress, int maxEntries);

// Where the readers below hand what they find, one entry at a time in the playlist's order, for
// callers that read large user files (an import of a station list) and keep what they need.
class PlaylistItemSink
{
public:
    virtual ~PlaylistItemSink() = default;
    // An entry whose address the player takes.
    virtual void Take(PlaylistItem item) = 0;
    // An entry whose address the player would not take. Entries of an https playlist that
    // would bring the stream down to plain http are refused too, as a redirect to http is.
    virtual void Refuse(RefusedPlaylistEntry entry) = 0;
    // True once no more entries are wanted: the reader stops.
    virtual bool Full() const = 0;
};

// `content` read as `kind`, every entry handed to `sink` (no limit, no repeats left out).
void ReadPlaylistItems(PlaylistKind kind, const QByteArray& content,
                       const QString& playlistAddress, PlaylistItemSink& sink);

// M3U or PLS one line at a time, so that a large file never has to be in memory whole. A PLS
// lists its entries by number, so they reach the sink at Finish, the lowest `maxEntries`
// numbers of them; M3U entries reach it as they are read.
class PlaylistLineReader
{
public:
    PlaylistLineReader(PlaylistKind kind, const QString& playlistAddress, PlaylistItemSink& sink,
                       int maxEntries);
    ~PlaylistLineReader();
    PlaylistLineReader(const PlaylistLineReader&) = delete;
    PlaylistLineReader& operator=(const PlaylistLineReader&) = delete;

    // One line without its line break; `number` is its 1-based line in the file.
    void Read(QByteArrayView line, int number);
    void Finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Why a reader ended before the end of its input.
struct PlaylistStop
{
    int line = 0;
    QString reason;
};

// XSPF read from `device` as it streams in, its first line numbered `firstLine`; what ended it
// early (not well-formed XML, a DTD, elements nested deeper than kMaxXspfDepth), if anything.
std::optional<PlaylistStop> ReadXspfItems(QIODevice& device, int firstLine,
                                          const QString& playlistAddress, PlaylistItemSink& sink);

// DetectPlaylist and PlaylistEntries in one.
Playlist ReadPlaylist(const QByteArray& contentType, const QByteArray& content,
                      const QString& playlistAddress);

// "PLS", "M3U", ... for log lines.
QString PlaylistKindName(PlaylistKind kind);
