#include "hosted/MediaPlayer.h"

#include <gtest/gtest.h>

namespace {

struct AddressCase
{
    const char* name;
    QString address;
    std::optional<QString> expected;
};

QString Text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

TEST(StreamAddress, KeepsStreamSchemesAndDropsTheLineEnd)
{
    const AddressCase cases[] = {
        {"plain http", Text("http://127.0.0.1:8000/ch1.ogg"),
         Text("http://127.0.0.1:8000/ch1.ogg")},
        {"CR LF line end of the content server", Text("http://radio.example/ch1.mp3\r\n"),
         Text("http://radio.example/ch1.mp3")},
        {"lone CR", Text("http://radio.example/ch1.mp3\r"), Text("http://radio.example/ch1.mp3")},
        {"surrounding blanks", Text("  http://radio.example/a.mp3 \t"),
         Text("http://radio.example/a.mp3")},
        {"upper-case scheme", Text("HTTP://radio.example/Live.mp3"),
         Text("http://radio.example/Live.mp3")},
        {"query kept", Text("https://radio.example/listen?sid=1&type=mp3"),
         Text("https://radio.example/listen?sid=1&type=mp3")},
        {"percent escapes kept", Text("http://radio.example/a%20b.mp3"),
         Text("http://radio.example/a%20b.mp3")},
        {"icy", Text("icy://radio.example:8000/"), Text("icy://radio.example:8000/")},
        {"icyx", Text("Icyx://radio.example:8000/"), Text("icyx://radio.example:8000/")},
        {"user and password", Text("http://user:pw@radio.example/a"),
         Text("http://user:pw@radio.example/a")},
        {"IPv6 host", Text("http://[::1]:8000/a.ogg"), Text("http://[::1]:8000/a.ogg")},
        {"non-ASCII path is encoded", Text("http://radio.example/caf\xc3\xa9.mp3"),
         Text("http://radio.example/caf%C3%A9.mp3")},
    };
    for (const AddressCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MediaPlayer::CleanStreamAddress(c.address), c.expected);
    }
}

TEST(StreamAddress, RefusesWhatIsNotANetworkStream)
{
    const char* const refused[] = {
        "",
        "   ",
        "\r\n",
        "file:///etc/passwd",
        "FILE:///home/user/music.mp3",
        "data:audio/mp3;base64,AAAA",
        "javascript:alert(1)",
        "ftp://radio.example/a.mp3",
        // Protocols no station list uses.
        "mms://media.example/radio",
        "MMSH://media.example/radio",
        "mmst://media.example/radio",
        "mmsu://media.example/radio",
        "rtsp://media.example:554/live",
        "rtsps://media.example/live",
        "rtmp://media.example/live/radio",
        "smb://server/share/a.mp3",
        "appsrc://",
        "fd://0",
        "/tmp/a.mp3",
        "radio.example/a.mp3",
        "127.0.0.1:8000/a.mp3",
        "://radio.example/a.mp3",
        "http:",
        "http://",
        "http:///a.mp3",
        "http://radio.example/a b.mp3",
        "http://radio.example/a\tb.mp3",
        "http://radio.example/a.mp3\r\nfile:///etc/passwd",
        "http://radio.example/a\x01.mp3",
        "http://radio.example/a\x7f.mp3",
        "http://radio.example/a\xc2\x85.mp3", // C1 control character NEL
        "http://radio.example:99999/a.mp3",
        "http://radio.example/%zz",
        "http://radio ex.example/a.mp3",
    };
    for (const char* address : refused) {
        SCOPED_TRACE(address);
        EXPECT_EQ(MediaPlayer::CleanStreamAddress(Text(address)), std::nullopt);
    }
}

} // namespace
