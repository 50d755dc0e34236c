// The playlist readers on the shapes found on real stations' servers, and on the hostile ones.

#include "hosted/Playlist.h"

#include <QStringList>
#include <gtest/gtest.h>

// Readable failures.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

const QString kBase = QStringLiteral("http://lists.example:8080/radio/station.pls");

struct Case
{
    const char* name;
    QByteArray contentType;
    QByteArray content;
    PlaylistKind kind;
    QStringList entries;
};

QStringList L(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* item : items)
        out << QString::fromLatin1(item);
    return out;
}

TEST(PlaylistTest, ReadsEveryKindByTypeOrContent)
{
    const QByteArray pls = "[playlist]\r\nNumberOfEntries=2\r\nFile2=http://b.example/two\r\n"
                           "Title1=One\r\nFile1=http://a.example:8000/one.mp3\r\nVersion=2\r\n";
    const QByteArray m3u = "#EXTM3U\n#EXTINF:-1,Station\nhttp://a.example/live\n\n"
                           "# a comment\nhttps://b.example/backup.aac\n";
    const QByteArray asx =
        "<ASX version=\"3.0\">\n<Title>X</Title>\n<Entry><REF HREF = \"mms://a.example/live\" />"
        "<ref href='http://b.example/x?a=1&amp;b=2'/></Entry>\n"
        "<entryref href=http://c.example/more.asx />\n</ASX>";
    const QByteArray xspf =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\"><title>t</title>"
        "<location>http://not.a.track/</location><trackList>"
        "<track><location>http://a.example/one.ogg</location></track>"
        "<track><title>b</title><location> rtsp://b.example/two </location>"
        "</track></trackList></playlist>";
    const QByteArray hls = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.0,\n"
                           "seg1.ts\n";
    const QByteArray bom = "\xEF\xBB\xBF";
    const std::vector<Case> cases = {
        {"pls by type", "audio/x-scpls", pls, PlaylistKind::Pls,
         L({"http://a.example:8000/one.mp3", "http://b.example/two"})},
        {"pls by content", "text/plain; charset=utf-8", " \r\n" + pls, PlaylistKind::Pls,
         L({"http://a.example:8000/one.mp3", "http://b.example/two"})},
        {"pls sent as m3u", "audio/x-mpegurl", pls, PlaylistKind::Pls,
         L({"http://a.example:8000/one.mp3", "http://b.example/two"})},
        {"m3u by type", "audio/x-mpegurl", m3u, PlaylistKind::M3u,
         L({"http://a.example/live", "https://b.example/backup.aac"})},
        {"m3u by content with a byte order mark", "application/octet-stream", bom + m3u,
         PlaylistKind::M3u, L({"http://a.example/live", "https://b.example/backup.aac"})},
        {"bare address list", "", "http://a.example/live\r\nicy://b.example/x\r\n",
         PlaylistKind::M3u, L({"http://a.example/live", "icy://b.example/x"})},
        {"asx by content", "text/plain", asx, PlaylistKind::Asx,
         L({"http://b.example/x?a=1&b=2", "http://c.example/more.asx"})},
        {"asx by an asf type", "video/x-ms-asf", asx, PlaylistKind::Asx,
         L({"http://b.example/x?a=1&b=2", "http://c.example/more.asx"})},
        {"xspf by type", "application/xspf+xml", xspf, PlaylistKind::Xspf,
         L({"http://a.example/one.ogg"})},
        {"xspf by content", "application/xml", xspf, PlaylistKind::Xspf,
         L({"http://a.example/one.ogg"})},
        {"hls by type", "application/vnd.apple.mpegurl", hls, PlaylistKind::Hls, {}},
        {"hls by content", "text/plain", hls, PlaylistKind::Hls, {}},
        // Relative entries belong to the playlist's server; the file name decides nothing.
        {"relative entries", "audio/x-mpegurl",
         "live.mp3\n/top.ogg\n../up.aac\n//other.example/x\n", PlaylistKind::M3u,
         L({"http://lists.example:8080/radio/live.mp3", "http://lists.example:8080/top.ogg",
            "http://lists.example:8080/up.aac", "http://other.example/x"})},
        {"audio is audio whatever it starts with",
         "audio/mpeg",
         "[playlist]\nFile1=http://a/\n",
         PlaylistKind::NotAPlaylist,
         {}},
        {"an ASF stream is no ASX",
         "video/x-ms-asf",
         QByteArray("\x30\x26\xB2\x75\x8E\x66", 6),
         PlaylistKind::NotAPlaylist,
         {}},
        {"an error page",
         "text/html",
         "<!DOCTYPE html><html>http://a.example/</html>",
         PlaylistKind::NotAPlaylist,
         {}},
        {"plain text",
         "text/plain",
         "Welcome to our radio\nhttp://a.example/\n",
         PlaylistKind::NotAPlaylist,
         {}},
        {"binary", "", QByteArray("\xFF\xFB\x90\x00http://a/", 12), PlaylistKind::NotAPlaylist, {}},
        {"empty", "audio/x-scpls", "", PlaylistKind::Pls, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Playlist playlist = ReadPlaylist(c.contentType, c.content, kBase);
        EXPECT_EQ(PlaylistKindName(playlist.kind), PlaylistKindName(c.kind));
        EXPECT_EQ(playlist.entries, c.entries);
        if (c.kind != PlaylistKind::NotAPlaylist) {
            EXPECT_TRUE(MayBePlaylist(c.contentType, c.content.left(64)))
                << "the first bytes already turned it away";
        }
    }
}

TEST(PlaylistTest, KeepsOnlyAddressesThePlayerAccepts)
{
    const QByteArray m3u = "file:///etc/passwd\njavascript:alert(1)\nC:\\Music\\a.mp3\n"
                           "http://\nhttp://a.example/with space\nhttp://a.example/\x01x\n"
                           "ftp://a.example/x.mp3\nhttp://a.example/ok\nhttp://a.example/ok\n"
                           "rtmp://b.example/live\nicy://c.example/live\n";
    EXPECT_EQ(PlaylistEntries(PlaylistKind::M3u, m3u, kBase),
              L({"http://a.example/ok", "icy://c.example/live"}));
    // Without a usable base address, relative entries have nowhere to go.
    EXPECT_EQ(PlaylistEntries(PlaylistKind::M3u, "live.mp3\nhttp://a.example/x\n", QString()),
              L({"http://a.example/x"}));
}

// A playlist that came over https does not send the player to plain http, as a redirect from
// https to http may not; its https and relative entries stay.
TEST(PlaylistTest, AnHttpsPlaylistListsNoPlainHttpEntry)
{
    const QString secure = QStringLiteral("https://lists.example/radio/station.pls");
    const struct
    {
        PlaylistKind kind;
        QByteArray content;
    } cases[] = {
        {PlaylistKind::Pls, "[playlist]\nFile1=http://a.example/x\nFile2=https://b.example/y\n"
                            "File3=live.mp3\nFile4=icy://c.example/z\nFile5=HTTP://d.example/\n"},
        {PlaylistKind::M3u, "#EXTM3U\nhttp://a.example/x\nhttps://b.example/y\nlive.mp3\n"
                            "icy://c.example/z\nHTTP://d.example/\n"},
        {PlaylistKind::Asx, "<asx><entry><ref href=\"http://a.example/x\"/></entry><entry>"
                            "<ref href=\"https://b.example/y\"/></entry><entry><ref "
                            "href=\"live.mp3\"/></entry><entry><ref href=\"icy://c.example/z\"/>"
                            "</entry></asx>"},
        {PlaylistKind::Xspf, "<playlist xmlns=\"http://xspf.org/ns/0/\"><trackList>"
                             "<track><location>http://a.example/x</location></track>"
                             "<track><location>https://b.example/y</location></track>"
                             "<track><location>live.mp3</location></track>"
                             "<track><location>icy://c.example/z</location></track>"
                             "</trackList></playlist>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(PlaylistKindName(c.kind).toStdString());
        EXPECT_EQ(PlaylistEntries(c.kind, c.content, secure),
                  L({"https://b.example/y", "https://lists.example/radio/live.mp3"}));
        const PlaylistItems read = ReadPlaylistItems(c.kind, c.content, secure, 10);
        ASSERT_GE(read.refused.size(), 2u);
        EXPECT_EQ(read.refused.front().text, QStringLiteral("http://a.example/x"));
        // Over plain http the same list keeps every entry the player takes.
        EXPECT_GE(PlaylistEntries(c.kind, c.content, kBase).size(), 4);
    }
}

// XSPF nests three elements deep to a track's location; a file nested a million deep must not
// make the reader keep a million open elements.
TEST(PlaylistTest, XspfEndsAtElementsNestedDeeperThanItsBound)
{
    const auto nested = [](int wrappers) {
        return "<playlist xmlns=\"http://xspf.org/ns/0/\"><trackList>" +
               QByteArray("<x>").repeated(wrappers) +
               "<track><location>http://a.example/</location></track>" +
               QByteArray("</x>").repeated(wrappers) + "</trackList></playlist>";
    };
    // The location sits at depth wrappers + 4.
    EXPECT_EQ(PlaylistEntries(PlaylistKind::Xspf, nested(kMaxXspfDepth - 4), kBase),
              L({"http://a.example/"}));
    EXPECT_EQ(PlaylistEntries(PlaylistKind::Xspf, nested(kMaxXspfDepth - 3), kBase),
              QStringList());
}

TEST(PlaylistTest, StaysWithinItsBoundsOnHostileInput)
{
    // Many entries: only the first kMaxPlaylistEntries, in order.
    QByteArray many = "[playlist]\n";
    for (int i = 1000; i >= 1; --i)
        many +=
            "File" + QByteArray::number(i) + "=http://a.example/" + QByteArray::number(i) + "\n";
    const QStringList entries = PlaylistEntries(PlaylistKind::Pls, many, kBase);
    ASSERT_LE(entries.size(), kMaxPlaylistEntries);
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_EQ(entries.front(), QStringLiteral("http://a.example/1"));

    // Numbers past any integer, unterminated tags and quotes, entity bombs.
    const std::vector<std::pair<PlaylistKind, QByteArray>> hostile = {
        {PlaylistKind::Pls, "[playlist]\nFile99999999999999999999=http://a.example/\nFile=x\n"},
        {PlaylistKind::Asx, "<asx><ref href=\"http://a.example/"},
        {PlaylistKind::Asx, "<asx><ref href=" + QByteArray(70000, 'x')},
        {PlaylistKind::Asx, QByteArray(70000, '<')},
        {PlaylistKind::Xspf, "<!DOCTYPE p [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;"
                             "&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
                             "<playlist><trackList><track><location>&c;&c;&c;&c;</location>"
                             "</track></trackList></playlist>"},
        {PlaylistKind::Xspf, "<playlist><trackList><track><location>http://a.example/x"},
        {PlaylistKind::M3u, QByteArray(70000, '\n')},
    };
    for (const auto& [kind, content] : hostile) {
        SCOPED_TRACE(content.left(40).toStdString());
        // An unterminated address is still an address; nothing more may come out.
        const QStringList got = PlaylistEntries(kind, content, kBase);
        EXPECT_LE(got.size(), 1);
        for (const QString& entry : got)
            EXPECT_LE(entry.size(), content.size() + kBase.size());
    }
}

TEST(PlaylistTest, TellsStreamsFromPlaylistsByTheirFirstBytes)
{
    struct Look
    {
        const char* name;
        QByteArray contentType;
        QByteArray head;
        bool mayBe;
    };
    const std::vector<Look> looks = {
        {"mp3 stream", "audio/mpeg", "\xFF\xFB\x90\x00", false},
        {"ogg stream", "application/ogg", "OggS", false},
        {"aac stream", "audio/aac", "\xFF\xF1", false},
        {"unlabelled mp3", "", QByteArray("ID3\x04\x00\x00\x00", 7), false},
        {"unlabelled ogg", "application/octet-stream", QByteArray("OggS\x00\x02", 6), false},
        {"pls type, nothing yet", "audio/x-scpls", "", true},
        {"text, nothing yet", "text/plain", "", true},
        {"half a pls header", "text/plain", "[play", true},
        {"a scheme being spelled", "", "htt", true},
        {"words", "text/plain", "Hello there\n", false},
    };
    for (const Look& look : looks) {
        SCOPED_TRACE(look.name);
        EXPECT_EQ(MayBePlaylist(look.contentType, look.head), look.mayBe);
    }
}

} // namespace
