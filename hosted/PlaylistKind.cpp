#include "hosted/Playlist.h"
#include "hosted/PlaylistText.h"

#include <algorithm>
#include <initializer_list>

// What an answer is: a playlist of which kind, or a stream.

using PlaylistText::Body;
using PlaylistText::StartsWithNoCase;

namespace {

// Bytes looked at to tell text from audio before anything else is decided.
constexpr qsizetype kSniffBytes = 512;
// A bare address list's first line is an address; one longer than this is not.
constexpr qsizetype kMaxFirstLine = 4096;

QByteArray MediaType(const QByteArray& contentType)
{
    const qsizetype semicolon = contentType.indexOf(';');
    return (semicolon >= 0 ? contentType.left(semicolon) : contentType).trimmed().toLower();
}

bool IsOneOf(const QByteArray& type, std::initializer_list<const char*> types)
{
    return std::any_of(types.begin(), types.end(), [&](const char* t) { return type == t; });
}

bool IsPlsType(const QByteArray& type)
{
    return IsOneOf(type, {"audio/x-scpls", "audio/scpls", "application/pls+xml", "audio/x-pls"});
}

bool IsM3uType(const QByteArray& type)
{
    return IsOneOf(type, {"audio/x-mpegurl", "audio/mpegurl", "application/x-mpegurl",
                          "application/vnd.apple.mpegurl", "audio/x-mpequrl", "application/mpegurl",
                          "vnd.apple.mpegurl"});
}

// Also the types of real ASF streams: only the content tells an ASX from one.
bool IsAsxType(const QByteArray& type)
{
    return IsOneOf(type, {"video/x-ms-asf", "video/x-ms-asx", "audio/x-ms-asx", "video/x-ms-wax",
                          "audio/x-ms-wax", "video/x-ms-wvx", "application/x-ms-asx"});
}

bool IsXspfType(const QByteArray& type)
{
    return type == "application/xspf+xml";
}

bool IsPlaylistType(const QByteArray& type)
{
    return IsPlsType(type) || IsM3uType(type) || IsAsxType(type) || IsXspfType(type);
}

// Types that are certainly audio or video, never a playlist.
bool IsMediaType(const QByteArray& type)
{
    return !IsPlaylistType(type) &&
           (type.startsWith("audio/") || type.startsWith("video/") || type == "application/ogg");
}

bool IsTextByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 || c == '\t' || c == '\r' || c == '\n';
}

bool LooksLikeText(QByteArrayView bytes)
{
    const QByteArrayView head = bytes.first(std::min(bytes.size(), kSniffBytes));
    return std::all_of(head.begin(), head.end(), IsTextByte);
}

bool ContainsNoCase(QByteArrayView text, QByteArrayView needle)
{
    return QByteArray(text.data(), text.size()).toLower().contains(needle);
}

// "scheme://" at the start of a line: what a bare list of stream addresses consists of.
bool StartsWithAddress(QByteArrayView line)
{
    qsizetype i = 0;
    while (i < line.size() && i < 16 &&
           ((line[i] >= 'a' && line[i] <= 'z') || (line[i] >= 'A' && line[i] <= 'Z')))
        ++i;
    return i > 0 && line.sliced(i).startsWith("://");
}

bool HasHlsTags(QByteArrayView body)
{
    for (qsizetype at = body.indexOf("#EXT-X-"); at >= 0; at = body.indexOf("#EXT-X-", at + 1)) {
        if (at == 0 || body[at - 1] == '\n' || body[at - 1] == '\r')
            return true;
    }
    return false;
}

PlaylistKind KindOfM3u(QByteArrayView body)
{
    return HasHlsTags(body) ? PlaylistKind::Hls : PlaylistKind::M3u;
}

// By content alone.
PlaylistKind SniffPlaylist(QByteArrayView body)
{
    if (body.isEmpty() || !LooksLikeText(body))
        return PlaylistKind::NotAPlaylist;
    if (StartsWithNoCase(body, "[playlist]"))
        return PlaylistKind::Pls;
    if (body.startsWith("#EXTM3U"))
        return KindOfM3u(body);
    if (body.startsWith('<')) {
        const QByteArrayView head = body.first(std::min<qsizetype>(body.size(), 4096));
        if (ContainsNoCase(head, "<asx"))
            return PlaylistKind::Asx;
        if (head.indexOf("<playlist") >= 0 && head.indexOf("xspf.org") >= 0)
            return PlaylistKind::Xspf;
        return PlaylistKind::NotAPlaylist;
    }
    // A bare list: every line that is not a comment is an address.
    return StartsWithAddress(body) ? PlaylistKind::M3u : PlaylistKind::NotAPlaylist;
}

} // namespace

bool MayBePlaylist(const QByteArray& contentType, const QByteArray& head)
{
    const QByteArray type = MediaType(contentType);
    if (IsPlaylistType(type) && !IsAsxType(type))
        return true;
    if (IsMediaType(type))
        return false;
    const QByteArrayView body = Body(head);
    if (!LooksLikeText(body))
        return false;
    if (body.isEmpty())
        return true;
    static constexpr QByteArrayView kStarts[] = {"[playlist]", "#", "<"};
    for (const QByteArrayView start : kStarts) {
        const qsizetype n = std::min(body.size(), start.size());
        if (body.first(n).compare(start.first(n), Qt::CaseInsensitive) == 0)
            return true;
    }
    // A bare list of addresses: its first line must be one.
    qsizetype lineEnd = 0;
    while (lineEnd < body.size() && body[lineEnd] != '\n' && body[lineEnd] != '\r')
        ++lineEnd;
    if (lineEnd > kMaxFirstLine)
        return false;
    if (StartsWithAddress(body.first(lineEnd)))
        return true;
    // Too short to tell yet: a scheme still being spelled out.
    return lineEnd == body.size() && lineEnd < 16 &&
           std::all_of(body.begin(), body.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == ':' || c == '/';
           });
}

PlaylistKind DetectPlaylist(const QByteArray& contentType, const QByteArray& content)
{
    const QByteArray type = MediaType(contentType);
    const QByteArrayView body = Body(content);
    if (IsPlsType(type))
        return PlaylistKind::Pls;
    if (IsM3uType(type)) {
        // Also what servers send for a PLS now and then: the content decides between the two.
        return StartsWithNoCase(body, "[playlist]") ? PlaylistKind::Pls : KindOfM3u(body);
    }
    if (IsXspfType(type))
        return PlaylistKind::Xspf;
    if (IsAsxType(type))
        return SniffPlaylist(body) == PlaylistKind::Asx ? PlaylistKind::Asx
                                                        : PlaylistKind::NotAPlaylist;
    if (IsMediaType(type) || type == "text/html")
        return PlaylistKind::NotAPlaylist;
    return SniffPlaylist(body);
}

QString PlaylistKindName(PlaylistKind kind)
{
    switch (kind) {
    case PlaylistKind::Pls:
        return QStringLiteral("PLS");
    case PlaylistKind::M3u:
        return QStringLiteral("M3U");
    case PlaylistKind::Asx:
        return QStringLiteral("ASX");
    case PlaylistKind::Xspf:
        return QStringLiteral("XSPF");
    case PlaylistKind::Hls:
        return QStringLiteral("HLS");
    case PlaylistKind::NotAPlaylist:
        break;
    }
    return QStringLiteral("no playlist");
}
