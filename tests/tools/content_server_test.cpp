// The demo content server as a real process: overlay order, exact paths, MIME types, error
// pages, refusal of paths outside its roots, stream-base substitution and a clean stop.

#include "support/Loopback.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct HttpAnswer
{
    int status = 0;
    QByteArray contentType;
    QByteArray body;
};

// One request over a plain socket, so the path reaches the server byte for byte (HTTP client
// libraries tidy up "..", which is exactly what must be tested here).
std::optional<HttpAnswer> RawRequest(int port, const QByteArray& method, const QByteArray& path)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return std::nullopt;
    sockaddr_in address = LoopbackAddress(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    const QByteArray request =
        method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (::send(fd, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL) !=
        request.size()) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray reply;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, 200) <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        reply.append(buffer, static_cast<qsizetype>(got));
    }
    ::close(fd);

    const qsizetype headerEnd = reply.indexOf("\r\n\r\n");
    if (!reply.startsWith("HTTP/1.1 ") || headerEnd < 0)
        return std::nullopt;
    HttpAnswer answer;
    answer.status = reply.mid(9, 3).toInt();
    for (const QByteArray& line : reply.left(headerEnd).split('\n')) {
        if (line.toLower().startsWith("content-type:"))
            answer.contentType = line.mid(13).trimmed();
    }
    answer.body = reply.mid(headerEnd + 4);
    return answer;
}

// Sends a request with a body of `bodySize` bytes, declared up front by Content-Length or sent in
// 64 KiB chunks, and stops sending as soon as the server answers or hangs up (a server that
// refuses the body does so early). Returns the answer's status.
std::optional<int> RequestWithBody(int port, const QByteArray& method, qint64 bodySize,
                                   bool chunked)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return std::nullopt;
    const timeval sendBound{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendBound, sizeof sendBound);
    sockaddr_in address = LoopbackAddress(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    const auto sendAll = [fd](const QByteArray& bytes) {
        return ::send(fd, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL) ==
               bytes.size();
    };
    QByteArray head = method + " /wavelark/index.php HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    head += chunked ? QByteArray("Transfer-Encoding: chunked\r\n\r\n")
                    : "Content-Length: " + QByteArray::number(bodySize) + "\r\n\r\n";
    const QByteArray piece(64 * 1024, 'x');
    const QByteArray unit =
        chunked ? QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n" : piece;
    bool sending = sendAll(head);
    qint64 sent = 0;
    while (sending && sent < bodySize) {
        pollfd answered{fd, POLLIN, 0};
        if (::poll(&answered, 1, 0) > 0)
            break;
        sending = sendAll(unit);
        sent += piece.size();
    }
    if (sending && chunked && sent >= bodySize)
        sendAll("0\r\n\r\n");

    QByteArray reply;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline && !reply.contains("\r\n")) {
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, 200) <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        reply.append(buffer, static_cast<qsizetype>(got));
    }
    ::close(fd);
    if (!reply.startsWith("HTTP/1.1 "))
        return std::nullopt;
    return reply.mid(9, 3).toInt();
}

// The most memory the process has held, from the kernel's high-water mark.
qint64 PeakResidentKiB(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QString SourceDir()
{
    return qEnvironmentVariable("WAVELARK_SOURCE_DIR");
}
QString ServerProgram()
{
    return qEnvironmentVariable("WAVELARK_BUILD_DIR") + QStringLiteral("/wavelark-content-server");
}

// Children die with the test program even when it crashes.
void DieWithParent(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// A running content server; the destructor stops it.
class ServerProcess
{
public:
    explicit ServerProcess(const QStringList& arguments)
    {
        DieWithParent(m_process);
        m_process.start(ServerProgram(), arguments);
        if (!m_process.waitForStarted(5000))
            return;
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!m_process.canReadLine() && Clock::now() < deadline &&
               m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(100);
        const QByteArray line = m_process.readLine().trimmed();
        if (line.startsWith("listening on 127.0.0.1:"))
            m_port = line.mid(int(sizeof "listening on 127.0.0.1:") - 1).toInt();
    }
    ~ServerProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    int Port() const { return m_port; }
    QProcess& Process() { return m_process; }

private:
    QProcess m_process;
    int m_port = 0;
};

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

class ContentServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_outside.isValid());
        m_overlay = m_outside.filePath(QStringLiteral("overlay"));
        WriteFile(m_outside.filePath(QStringLiteral("secret.txt")), "top secret\n");
        WriteFile(m_overlay + QStringLiteral("/Wavelark/freechannels/package0/3.rd"),
                  "http://override.invalid/three\r\n");
        WriteFile(m_overlay + QStringLiteral("/wavelark/only-in-overlay.txt"), "overlay\n");
        WriteFile(m_overlay + QStringLiteral("/Wavelark/test/two-lines.rd"),
                  "${STREAM_BASE}/a.ogg\r\nsecond ${STREAM_BASE}\r\n");
        WriteFile(m_overlay + QStringLiteral("/wavelark/verbatim.txt"), "${STREAM_BASE}\n");
        for (const char* playlist : {"list.pls", "list.m3u", "list.asx", "list.xspf", "live.m3u8"})
            WriteFile(m_overlay + QStringLiteral("/playlists/") + QLatin1String(playlist),
                      "${STREAM_BASE}/a.mp3\n");
        ASSERT_EQ(
            ::symlink(m_outside.filePath(QStringLiteral("secret.txt")).toLocal8Bit().constData(),
                      (m_overlay + QStringLiteral("/link-out.txt")).toLocal8Bit().constData()),
            0);
        m_server = std::make_unique<ServerProcess>(QStringList{
            QStringLiteral("--root"), m_overlay, QStringLiteral("--root"),
            SourceDir() + QStringLiteral("/demo"), QStringLiteral("--port"), QStringLiteral("0"),
            QStringLiteral("--stream-base"), QStringLiteral("http://127.0.0.1:1234/")});
        ASSERT_GT(m_server->Port(), 0) << "the server did not report its port";
    }

    HttpAnswer Get(const QByteArray& path, const QByteArray& method = "GET")
    {
        const std::optional<HttpAnswer> answer = RawRequest(m_server->Port(), method, path);
        EXPECT_TRUE(answer.has_value()) << "no HTTP answer for " << path.constData();
        return answer.value_or(HttpAnswer{});
    }

    QTemporaryDir m_outside;
    QString m_overlay;
    std::unique_ptr<ServerProcess> m_server;
};

TEST_F(ContentServerTest, ServesExactPathsWithTheirTypesAndOverlayOrder)
{
    struct Case
    {
        const char* method;
        const char* path;
        int status;
        const char* contentType;
        std::optional<QByteArray> body; // exact body when given
    };
    const Case cases[] = {
        {"GET", "/wavelark/channelsplus/versionplus.txt", 200, "text/plain",
         QByteArray("3.10\r\n")},
        {"HEAD", "/wavelark/channelsplus/versionplus.txt", 200, "text/plain", QByteArray()},
        // The overlay replaces one stream file; its neighbours still come from the demo folder.
        {"GET", "/Wavelark/freechannels/package0/3.rd", 200, "text/plain",
         QByteArray("http://override.invalid/three\r\n")},
        {"GET", "/Wavelark/freechannels/package0/4.rd", 200, "text/plain",
         QByteArray("http://127.0.0.1:1234/tone750.mp3\r\n")},
        {"GET", "/wavelark/only-in-overlay.txt", 200, "text/plain", QByteArray("overlay\n")},
        // Every placeholder of a catalogue file is replaced; other files are sent as stored.
        {"GET", "/Wavelark/test/two-lines.rd", 200, "text/plain",
         QByteArray("http://127.0.0.1:1234/a.ogg\r\nsecond http://127.0.0.1:1234\r\n")},
        {"GET", "/wavelark/verbatim.txt", 200, "text/plain", QByteArray("${STREAM_BASE}\n")},
        // Playlists name the streams too, with their own types; HLS is sent as stored.
        {"GET", "/playlists/list.pls", 200, "audio/x-scpls",
         QByteArray("http://127.0.0.1:1234/a.mp3\n")},
        {"GET", "/playlists/list.m3u", 200, "audio/x-mpegurl",
         QByteArray("http://127.0.0.1:1234/a.mp3\n")},
        {"GET", "/playlists/list.asx", 200, "video/x-ms-asf",
         QByteArray("http://127.0.0.1:1234/a.mp3\n")},
        {"GET", "/playlists/list.xspf", 200, "application/xspf+xml",
         QByteArray("http://127.0.0.1:1234/a.mp3\n")},
        {"GET", "/playlists/live.m3u8", 200, "application/vnd.apple.mpegurl",
         QByteArray("${STREAM_BASE}/a.mp3\n")},
        {"GET", "/Wavelark/test/missing.rd", 200, "text/plain",
         QByteArray("http://127.0.0.1:1234/missing.ogg\r\n")},
        // The two folder names differ only in letter case; each is served only as written.
        {"GET", "/Wavelark/channelsplus/versionplus.txt", 404, "text/html", std::nullopt},
        {"GET", "/wavelark/freechannels/package0.rd", 404, "text/html", std::nullopt},
        {"GET", "/Wavelark/freechannels/Package0.rd", 404, "text/html", std::nullopt},
        {"GET", "/wavelark/Index.php", 404, "text/html", std::nullopt},
        {"GET", "/wavelark/nothing-here.php", 404, "text/html", std::nullopt},
        // Folders are not listed.
        {"GET", "/Wavelark/freechannels/package0/", 404, "text/html", std::nullopt},
        {"GET", "/Wavelark/freechannels", 404, "text/html", std::nullopt},
        {"GET", "/", 404, "text/html", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + ' ' + c.path);
        const HttpAnswer answer = Get(c.path, c.method);
        EXPECT_EQ(answer.status, c.status);
        EXPECT_EQ(answer.contentType, QByteArray(c.contentType));
        if (c.body) {
            EXPECT_EQ(answer.body, *c.body);
        }
        if (c.status == 404) {
            EXPECT_TRUE(answer.body.startsWith("<!DOCTYPE html>")) << answer.body.constData();
        }
    }
}

TEST_F(ContentServerTest, ServesEveryVendorPageAsHtml)
{
    for (const char* page : {"index.php", "contact.php", "support.php", "shopping.php",
                             "download.php", "color.php", "watchtv.php"}) {
        SCOPED_TRACE(page);
        const HttpAnswer answer = Get(QByteArray("/wavelark/") + page);
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.contentType, QByteArray("text/html"));
        EXPECT_TRUE(answer.body.startsWith("<!DOCTYPE html>"));
        EXPECT_TRUE(answer.body.contains("</html>"));
        // Self-contained: nothing is loaded from elsewhere.
        EXPECT_FALSE(answer.body.contains("http://"));
        EXPECT_FALSE(answer.body.contains("https://"));
        EXPECT_FALSE(answer.body.contains("src="));
    }
}

// The end-to-end tests tell channels apart by the table; it must match what is served.
TEST(ContentServerDemo, StreamTableMatchesTheServedCatalogue)
{
    ServerProcess server({QStringLiteral("--root"), SourceDir() + QStringLiteral("/demo"),
                          QStringLiteral("--port"), QStringLiteral("0"),
                          QStringLiteral("--stream-base"),
                          QStringLiteral("http://127.0.0.1:1234")});
    ASSERT_GT(server.Port(), 0);
    const auto Get = [&server](const QByteArray& path) {
        return RawRequest(server.Port(), "GET", path).value_or(HttpAnswer{});
    };

    QFile tableFile(SourceDir() + QStringLiteral("/demo/streams.tsv"));
    ASSERT_TRUE(tableFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = tableFile.readAll().split('\n');
    ASSERT_EQ(lines.value(0), QByteArray("channel\tfile\tmount\tformat\tfreq_hz\toffered\ttitle"));

    const HttpAnswer availability = Get("/Wavelark/freechannels/package0.rd");
    ASSERT_EQ(availability.status, 200);
    ASSERT_EQ(availability.body.size(), 40);
    EXPECT_GE(availability.body.count('0'), 3);
    EXPECT_LE(availability.body.count('0'), 4);
    EXPECT_EQ(availability.body.count('1') + availability.body.count('0'), 40);

    QMap<QByteArray, int> frequencyOfMount;
    QMap<int, QByteArray> mountOfFrequency;
    int channels = 0;
    for (const QByteArray& line : lines.mid(1)) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        ASSERT_EQ(fields.size(), 7) << line.constData();
        SCOPED_TRACE(line.constData());
        const QByteArray& mount = fields[2];
        const QByteArray& format = fields[3];
        const int frequency = fields[4].toInt();
        EXPECT_TRUE(mount.endsWith("." + (format == "hls" ? QByteArray("m3u8") : format)));
        EXPECT_TRUE(QList<QByteArray>({"ogg", "mp3", "opus", "aac", "hls", "pls"}).contains(format))
            << format.constData();

        // The HLS stream and the playlists are the content server's own files.
        const bool ownFile = format == "hls" || format == "pls";
        const QByteArray base = ownFile ? "http://127.0.0.1:" + QByteArray::number(server.Port())
                                        : QByteArray("http://127.0.0.1:1234");
        const HttpAnswer file = Get("/" + fields[1]);
        EXPECT_EQ(file.status, 200);
        EXPECT_EQ(file.body, base + mount + "\r\n");
        if (format == "pls") {
            const HttpAnswer playlist = Get(mount);
            EXPECT_EQ(playlist.status, 200);
            EXPECT_TRUE(playlist.body.contains("=http://127.0.0.1:1234/tone" + fields[4]))
                << playlist.body.constData();
        }

        bool isChannel = false;
        const int channel = fields[0].toInt(&isChannel);
        if (!isChannel) {
            EXPECT_EQ(fields[1], "Wavelark/test/" + fields[0] + ".rd");
            continue;
        }
        ++channels;
        EXPECT_EQ(channel, channels);
        EXPECT_EQ(fields[1],
                  "Wavelark/freechannels/package0/" + QByteArray::number(channel) + ".rd");
        EXPECT_EQ(fields[5].at(0), availability.body.at(channel - 1));
        EXPECT_EQ(fields[6], "Tone " + fields[4] + " Hz");
        if (format == "pls")
            continue; // a way to a mount of this tone, not a tone of its own
        // One tone per mount and one mount per tone, at least 100 Hz apart from the others.
        EXPECT_EQ(frequencyOfMount.value(mount, frequency), frequency);
        frequencyOfMount.insert(mount, frequency);
        for (auto it = mountOfFrequency.cbegin(); it != mountOfFrequency.cend(); ++it) {
            if (it.value() != mount) {
                EXPECT_GE(std::abs(it.key() - frequency), 100) << it.value().constData();
            }
        }
        mountOfFrequency.insert(frequency, mount);
    }
    EXPECT_EQ(channels, 40);
    EXPECT_GE(frequencyOfMount.size(), 6);
}

TEST_F(ContentServerTest, RefusesPathsLeavingItsRoots)
{
    const QByteArray secretPath =
        QFile::encodeName(m_outside.filePath(QStringLiteral("secret.txt")));
    const QByteArray paths[] = {
        "/../secret.txt",
        "/overlay/../secret.txt",
        "/Wavelark/../../secret.txt",
        "/%2e%2e/secret.txt",
        "/Wavelark/%2E%2E/%2E%2E/secret.txt",
        "/Wavelark/..%2F..%2Fsecret.txt",
        "/..%5Csecret.txt",
        "/" + secretPath, // "//tmp/.../secret.txt" would be absolute once joined
        "/.%2F../secret.txt",
        "/./Wavelark/freechannels/package0.rd",
        "/link-out.txt", // a link inside a root that points outside
    };
    for (const QByteArray& path : paths) {
        SCOPED_TRACE(path.constData());
        const HttpAnswer answer = Get(path);
        EXPECT_TRUE(answer.status == 400 || answer.status == 404) << answer.status;
        EXPECT_TRUE(answer.body.startsWith("<!DOCTYPE html>"));
        EXPECT_FALSE(answer.body.contains("top secret"));
    }
}

// The server takes no request bodies: a large one is refused with 413 before it is read, so a
// client cannot make the server hold it in memory, however the body comes.
TEST_F(ContentServerTest, RefusesLargeRequestBodiesUnread)
{
    struct Case
    {
        const char* method;
        bool chunked;
    };
    constexpr qint64 kBody = 32 * 1024 * 1024;
    for (const Case c :
         {Case{"POST", false}, Case{"POST", true}, Case{"GET", false}, Case{"PUT", true}}) {
        SCOPED_TRACE(std::string(c.method) + (c.chunked ? " chunked" : " with Content-Length"));
        EXPECT_EQ(RequestWithBody(m_server->Port(), c.method, kBody, c.chunked), 413);
    }
    // Small bodies are still fine, and the server goes on serving.
    EXPECT_EQ(RequestWithBody(m_server->Port(), "GET", 100, false), 200);
    EXPECT_EQ(Get("/wavelark/channelsplus/versionplus.txt").status, 200);
    // A server that kept the bodies would have held 32 MiB at least.
    const qint64 peak = PeakResidentKiB(m_server->Process().processId());
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, 16 * 1024);
}

TEST_F(ContentServerTest, LogsOneLinePerRequestAndStopsCleanlyOnSignals)
{
    Get("/wavelark/index.php");
    Get("/wavelark/missing.php");
    Get("/../secret.txt");

    QProcess& process = m_server->Process();
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), SIGTERM), 0);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    const QByteArray log = process.readAllStandardError();
    EXPECT_TRUE(log.contains("GET /wavelark/index.php 200\n")) << log.constData();
    EXPECT_TRUE(log.contains("GET /wavelark/missing.php 404\n")) << log.constData();
    EXPECT_TRUE(log.contains("GET /../secret.txt 400\n")) << log.constData();
}

TEST(ContentServerProcess, StopsOnInterruptAndRefusesATakenPort)
{
    const QString demo = SourceDir() + QStringLiteral("/demo");
    ServerProcess first(
        {QStringLiteral("--root"), demo, QStringLiteral("--port"), QStringLiteral("0")});
    ASSERT_GT(first.Port(), 0);

    // A second server on the same port must fail loudly instead of serving nothing.
    QProcess second;
    DieWithParent(second);
    second.start(ServerProgram(), {QStringLiteral("--root"), demo, QStringLiteral("--port"),
                                   QString::number(first.Port())});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("cannot listen"));

    ASSERT_EQ(::kill(static_cast<pid_t>(first.Process().processId()), SIGINT), 0);
    ASSERT_TRUE(first.Process().waitForFinished(10000));
    EXPECT_EQ(first.Process().exitCode(), 0);
}

TEST(ContentServerProcess, RejectsBadOptions)
{
    const QString demo = SourceDir() + QStringLiteral("/demo");
    const QStringList cases[] = {
        {},
        {QStringLiteral("--root"), QStringLiteral("/nonexistent/wavelark-folder")},
        {QStringLiteral("--root"), demo, QStringLiteral("--port"), QStringLiteral("65536")},
        {QStringLiteral("--root"), demo, QStringLiteral("--port"), QStringLiteral("-1")},
        {QStringLiteral("--root"), demo, QStringLiteral("--port")},
        {QStringLiteral("--root"), demo, QStringLiteral("--bogus"), QStringLiteral("1")},
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        QProcess process;
        DieWithParent(process);
        process.start(ServerProgram(), arguments);
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), 2);
        EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    }
}

} // namespace
