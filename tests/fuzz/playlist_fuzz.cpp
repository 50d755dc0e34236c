// Feeds arbitrary bytes to the playlist readers. The first byte picks the content type the
// answer claims and the rest is the answer. Besides crashes it stops on broken promises: more
// entries than the bound, an entry the player would refuse or change, entries for an HLS
// playlist or for something that is no playlist at all, a plain http entry taken from an https
// playlist. The readers that stream (a line at a time, XSPF from a device) get the same bytes.
#include "FuzzCheck.h"
#include "hosted/MediaPlayer.h"
#include "hosted/Playlist.h"

#include <QBuffer>
#include <QLoggingCategory>
#include <cstdint>
#include <iterator>
#include <optional>

namespace {

const char* const kContentTypes[] = {
    "",
    "text/plain",
    "audio/x-scpls",
    "audio/x-mpegurl",
    "application/vnd.apple.mpegurl; charset=utf-8",
    "video/x-ms-asf",
    "application/xspf+xml",
    "audio/mpeg",
    "application/octet-stream",
    "text/html",
};

const QString kAddress = QStringLiteral("http://radio.example:8000/lists/station.pls?x=1");

void CheckEntries(const QStringList& entries)
{
    Require(entries.size() <= kMaxPlaylistEntries);
    for (const QString& entry : entries) {
        const std::optional<QString> clean = MediaPlayer::CleanStreamAddress(entry);
        Require(clean.has_value() && *clean == entry);
    }
}

// Checks what a streaming reader hands over: every entry one the player takes, and none that
// would bring an https playlist down to plain http.
class CheckingSink : public PlaylistItemSink
{
public:
    explicit CheckingSink(bool secure) : m_secure(secure) {}

    void Take(PlaylistItem item) override
    {
        const std::optional<QString> clean = MediaPlayer::CleanStreamAddress(item.address);
        Require(clean.has_value() && *clean == item.address);
        Require(!m_secure || item.address.startsWith(QLatin1String("https:"), Qt::CaseInsensitive));
        ++m_taken;
    }
    void Refuse(RefusedPlaylistEntry) override {}
    // Stops now and then, so that the readers' early ends are taken too.
    bool Full() const override { return m_taken >= 1000; }

private:
    bool m_secure;
    int m_taken = 0;
};

const QString kSecureAddress = QStringLiteral("https://radio.example/lists/station.m3u");

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("wavelark.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray type(kContentTypes[data[0] % std::size(kContentTypes)]);
    const QByteArray content(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const Playlist playlist = ReadPlaylist(type, content, kAddress);
    CheckEntries(playlist.entries);
    if (playlist.kind == PlaylistKind::Hls || playlist.kind == PlaylistKind::NotAPlaylist)
        Require(playlist.entries.isEmpty());
    // Whatever a whole answer turns out to be, the look at its start must not have given up.
    if (playlist.kind != PlaylistKind::NotAPlaylist)
        Require(MayBePlaylist(type, content.left(512)));

    // Every reader on every input, as a server that lies about its content would make it.
    for (const PlaylistKind kind :
         {PlaylistKind::Pls, PlaylistKind::M3u, PlaylistKind::Asx, PlaylistKind::Xspf}) {
        CheckEntries(PlaylistEntries(kind, content, kAddress));
    }

    // A line at a time, as the import reads a large file; the first byte also picks the kind.
    CheckingSink lines(true);
    PlaylistLineReader reader(data[0] & 1 ? PlaylistKind::Pls : PlaylistKind::M3u, kSecureAddress,
                              lines, 50);
    int number = 1;
    for (const QByteArray& line : content.split('\n'))
        reader.Read(line, number++);
    reader.Finish();

    CheckingSink xspf(true);
    QBuffer device;
    device.setData(content);
    device.open(QIODevice::ReadOnly);
    ReadXspfItems(device, 1, kSecureAddress, xspf);
    return 0;
}
