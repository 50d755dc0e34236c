// Feeds arbitrary bytes to the playlist readers. The first byte picks the content type the
// answer claims and the rest is the answer. Besides crashes it stops on broken promises: more
// entries than the bound, an entry the player would refuse or change, entries for an HLS
// playlist or for something that is no playlist at all.
#include "FuzzCheck.h"
#include "hosted/MediaPlayer.h"
#include "hosted/Playlist.h"

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
    return 0;
}
