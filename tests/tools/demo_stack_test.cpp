// scripts/demo-stack as a whole: real Icecast, real GStreamer feeders and the real content
// server on free ports. Checks what the end-to-end tests rely on (every channel's address is a
// live mount with its own tone and title, the misbehaving mounts misbehave as documented) and
// that stopping the stack, however it ends, leaves no process behind.

#include "support/DemoStack.h"
#include "support/LocalHttpServer.h"
#include "support/Loopback.h"
#include "support/WavCapture.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <grp.h>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

QString SourceDir()
{
    return qEnvironmentVariable("WAVELARK_SOURCE_DIR");
}

void DieWithParent(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

struct StreamRow
{
    QByteArray channel; // "1".."40", or the name of a misbehaving stream
    QByteArray file;
    QByteArray mount;
    QByteArray format;
    int frequency = 0;
    QByteArray offered;
    QByteArray title;
};

std::vector<StreamRow> ReadStreamTable()
{
    std::vector<StreamRow> rows;
    QFile file(SourceDir() + QStringLiteral("/demo/streams.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines.mid(1)) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() == 7)
            rows.push_back({f[0], f[1], f[2], f[3], f[4].toInt(), f[5], f[6]});
    }
    return rows;
}

// What one HTTP GET on a plain socket gave within a time limit.
struct StreamRead
{
    int status = 0;
    QByteArray headers;
    QByteArray body;
    bool closedByServer = false;
    // The longest time without a byte after the first body bytes arrived.
    milliseconds longestGap{0};
};

// Reads until the server closes, maxBytes arrived, or the time is up; a live stream never ends.
std::optional<StreamRead> ReadStream(int port, const QByteArray& path, qsizetype maxBytes,
                                     milliseconds limit,
                                     milliseconds stopAfterGap = milliseconds(0))
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return std::nullopt;
    sockaddr_in address = LoopbackAddress(port);
    const QByteArray request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::send(fd, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL) !=
            request.size()) {
        ::close(fd);
        return std::nullopt;
    }
    StreamRead read;
    QByteArray raw;
    qsizetype headerEnd = -1;
    const auto start = Clock::now();
    auto lastData = start;
    while (Clock::now() - start < limit) {
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, 50);
        if (ready > 0) {
            char buffer[8192];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                read.closedByServer = true;
                break;
            }
            raw.append(buffer, static_cast<qsizetype>(got));
            if (headerEnd < 0)
                headerEnd = raw.indexOf("\r\n\r\n");
            if (headerEnd >= 0 && raw.size() > headerEnd + 4)
                lastData = Clock::now();
        }
        if (headerEnd >= 0 && raw.size() > headerEnd + 4)
            read.longestGap = std::max(
                read.longestGap, std::chrono::duration_cast<milliseconds>(Clock::now() - lastData));
        if (headerEnd >= 0 && raw.size() - headerEnd - 4 >= maxBytes)
            break;
        if (stopAfterGap.count() > 0 && read.longestGap >= stopAfterGap)
            break;
    }
    ::close(fd);
    if (headerEnd < 0)
        return std::nullopt;
    read.headers = raw.left(headerEnd);
    read.status = raw.mid(raw.indexOf(' ') + 1, 3).toInt();
    read.body = raw.mid(headerEnd + 4);
    return read;
}

QByteArray GetText(int port, const QByteArray& path)
{
    const std::optional<StreamRead> read = ReadStream(port, path, 1 << 20, milliseconds(5000));
    return read && read->status == 200 ? read->body : QByteArray();
}

struct ProcessId
{
    int pid = 0;
    QByteArray startTime;
};

// Every process below rootPid, with start times so that a reused pid is not mistaken for one.
std::vector<ProcessId> DescendantsOf(int rootPid)
{
    struct Entry
    {
        ProcessId id;
        int parent = 0;
    };
    std::vector<Entry> all;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool numeric = false;
        const int pid = entry.toInt(&numeric);
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // Fields after the command name in parentheses: state ppid ... starttime (22nd field).
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 19)
            all.push_back({{pid, fields[19]}, fields[1].toInt()});
    }
    std::vector<ProcessId> found;
    std::vector<int> parents{rootPid};
    while (!parents.empty()) {
        const int parent = parents.back();
        parents.pop_back();
        for (const Entry& entry : all) {
            if (entry.parent == parent) {
                found.push_back(entry.id);
                parents.push_back(entry.id.pid);
            }
        }
    }
    return found;
}

bool StillRunning(const ProcessId& process)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(process.pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 19 && fields[19] == process.startTime && fields[0] != "Z";
}

QByteArray CommandLine(int pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll().replace('\0', ' ') : QByteArray();
}

class DemoStackTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_rows = ReadStreamTable();
        s_stack = std::make_unique<DemoStack>();
    }
    static void TearDownTestSuite() { s_stack.reset(); }

    void SetUp() override
    {
        ASSERT_GT(s_stack->Port(), 0) << "no ready line: " << s_stack->Line().constData();
        ASSERT_EQ(s_rows.size(), 43u);
        // The Icecast port, from channel 1's stream file.
        const QByteArray first = GetText(s_stack->Port(), "/Wavelark/freechannels/package0/1.rd");
        const QByteArray prefix = "http://127.0.0.1:";
        ASSERT_TRUE(first.startsWith(prefix)) << first.constData();
        m_icecastPort =
            first.mid(prefix.size(), first.indexOf('/', prefix.size()) - prefix.size()).toInt();
        ASSERT_GT(m_icecastPort, 0);
    }

    const StreamRow& Row(const QByteArray& channel) const
    {
        for (const StreamRow& row : s_rows) {
            if (row.channel == channel)
                return row;
        }
        static const StreamRow none;
        return none;
    }

    static inline std::unique_ptr<DemoStack> s_stack;
    static inline std::vector<StreamRow> s_rows;
    int m_icecastPort = 0;
};

TEST_F(DemoStackTest, EveryChannelFileNamesALiveMount)
{
    QByteArray offered;
    for (const StreamRow& row : s_rows) {
        if (row.frequency > 0 && row.offered != "-")
            offered += row.offered;
    }
    EXPECT_EQ(GetText(s_stack->Port(), "/Wavelark/freechannels/package0.rd"), offered);
    EXPECT_EQ(GetText(s_stack->Port(), "/wavelark/channelsplus/versionplus.txt"), "3.10\r\n");

    QList<QByteArray> checkedMounts;

    for (const StreamRow& row : s_rows) {
        if (row.offered == "-")
            continue;
        SCOPED_TRACE("channel " + row.channel.toStdString());
        const QByteArray text = GetText(s_stack->Port(), "/" + row.file);
        // The HLS stream and the playlist files live on the content server itself.
        const bool onContentServer = row.format == "hls" || row.format == "pls";
        const int port = onContentServer ? s_stack->Port() : m_icecastPort;
        EXPECT_EQ(text, "http://127.0.0.1:" + QByteArray::number(port) + row.mount + "\r\n");

        if (checkedMounts.contains(row.mount))
            continue;
        checkedMounts.append(row.mount);
        if (onContentServer) {
            const std::optional<StreamRead> list =
                ReadStream(port, row.mount, 1 << 16, milliseconds(5000));
            ASSERT_TRUE(list.has_value());
            EXPECT_EQ(list->status, 200);
            if (row.format == "hls") {
                EXPECT_TRUE(list->headers.contains("application/vnd.apple.mpegurl"));
                EXPECT_TRUE(list->body.startsWith("#EXTM3U"));
                EXPECT_GE(list->body.count("#EXTINF"), 3);
            } else {
                EXPECT_TRUE(list->headers.contains("audio/x-scpls"));
                // A dead first entry, then a live mount with this row's tone.
                EXPECT_TRUE(list->body.contains(
                    "File2=http://127.0.0.1:" + QByteArray::number(m_icecastPort) + "/tone" +
                    QByteArray::number(row.frequency)))
                    << list->body.constData();
            }
            continue;
        }
        // Icecast's start-up burst arrives at once, so a few kilobytes come quickly.
        const std::optional<StreamRead> audio =
            ReadStream(m_icecastPort, row.mount, 8192, milliseconds(5000));
        ASSERT_TRUE(audio.has_value());
        EXPECT_EQ(audio->status, 200);
        EXPECT_GE(audio->body.size(), 8192);
        if (row.format == "ogg" || row.format == "opus") {
            EXPECT_TRUE(audio->headers.contains("Content-Type: application/ogg"));
            EXPECT_TRUE(audio->body.startsWith("OggS"));
            EXPECT_EQ(audio->body.contains("OpusHead"), row.format == "opus");
        } else if (row.format == "aac") {
            EXPECT_TRUE(audio->headers.contains("Content-Type: audio/aac"));
            // ADTS frames: a sync word whose frame length leads to the next one. A listener
            // joins mid-stream, so the body may start inside a frame, with a 0xFF of audio.
            const QByteArray& body = audio->body;
            const auto at = [&](qsizetype i) { return static_cast<unsigned char>(body.at(i)); };
            const auto syncAt = [&](qsizetype i) {
                return i + 1 < body.size() && at(i) == 0xFF && (at(i + 1) & 0xF6) == 0xF0;
            };
            bool chained = false;
            for (qsizetype i = 0; i + 7 < body.size() && !chained; ++i) {
                if (!syncAt(i))
                    continue;
                const qsizetype length =
                    ((at(i + 3) & 0x03) << 11) | (at(i + 4) << 3) | (at(i + 5) >> 5);
                chained = length >= 7 && syncAt(i + length);
            }
            EXPECT_TRUE(chained) << "no two ADTS frames in a row";
        } else {
            EXPECT_TRUE(audio->headers.contains("Content-Type: audio/mpeg"));
        }
    }
}

// Decodes a second of the mount with GStreamer and measures its tone.
std::optional<double> MeasureTone(const QByteArray& address)
{
    QProcess decoder;
    DieWithParent(decoder);
    decoder.start(QStringLiteral("gst-launch-1.0"),
                  {QStringLiteral("-q"), QStringLiteral("souphttpsrc"),
                   QStringLiteral("location=") + QString::fromUtf8(address), QStringLiteral("!"),
                   QStringLiteral("decodebin"), QStringLiteral("!"), QStringLiteral("audioconvert"),
                   QStringLiteral("!"), QStringLiteral("audioresample"), QStringLiteral("!"),
                   QStringLiteral("audio/x-raw,format=S16LE,channels=1,rate=44100"),
                   QStringLiteral("!"), QStringLiteral("fdsink"), QStringLiteral("fd=1")});
    constexpr qsizetype kSkip = 44100 / 4 * 2;
    constexpr qsizetype kSamples = 44100;
    QByteArray pcm;
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (pcm.size() < kSkip + kSamples * 2 && Clock::now() < deadline &&
           decoder.state() != QProcess::NotRunning) {
        decoder.waitForReadyRead(100);
        pcm += decoder.readAllStandardOutput();
    }
    decoder.kill();
    decoder.waitForFinished(5000);
    if (pcm.size() < kSkip + kSamples * 2)
        return std::nullopt;
    WavCapture tone;
    tone.channels = 1;
    tone.rate = 44100;
    tone.samples.resize(size_t(kSamples));
    std::memcpy(tone.samples.data(), pcm.constData() + kSkip, size_t(kSamples) * 2);
    return tone.ToneFrequency();
}

TEST_F(DemoStackTest, EachMountPlaysItsOwnTone)
{
    QMap<QByteArray, int> frequencyOfMount;
    QMap<QByteArray, int> portOfMount;
    for (const StreamRow& row : s_rows) {
        // A playlist is no stream; its entry is one of the mounts.
        if (row.frequency > 0 && row.format != "pls") {
            frequencyOfMount.insert(row.mount, row.frequency);
            portOfMount.insert(row.mount, row.format == "hls" ? s_stack->Port() : m_icecastPort);
        }
    }
    frequencyOfMount.remove("/silent.mp3"); // may already be paused; its burst is too short
    ASSERT_GE(frequencyOfMount.size(), 8);
    for (auto it = frequencyOfMount.cbegin(); it != frequencyOfMount.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        const std::optional<double> measured = MeasureTone(
            "http://127.0.0.1:" + QByteArray::number(portOfMount.value(it.key())) + it.key());
        ASSERT_TRUE(measured.has_value()) << "no audio decoded";
        EXPECT_NEAR(*measured, it.value(), it.value() * 0.02);
    }
}

// Both Icecast passwords stay private: the configuration that holds them is readable by this
// user and Icecast only, and no process of the stack carries one on its command line, which
// every local user can read.
TEST_F(DemoStackTest, KeepsItsPasswordsOffCommandLinesAndPrivate)
{
    const std::vector<ProcessId> children = DescendantsOf(s_stack->Pid());
    QString config;
    for (const ProcessId& child : children) {
        const QByteArray command = CommandLine(child.pid);
        if (command.startsWith("icecast2 "))
            config = QString::fromUtf8(command.split(' ').value(2));
    }
    ASSERT_FALSE(config.isEmpty());
    QFile file(config);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QByteArrayList passwords;
    for (const char* tag : {"source-password", "admin-password"}) {
        const QByteArray open = QByteArray("<") + tag + '>';
        const qsizetype start = text.indexOf(open) + open.size();
        const QByteArray password = text.mid(start, text.indexOf('<', start) - start);
        ASSERT_GE(password.size(), 16) << tag;
        passwords.append(password);
    }

    struct stat status = {};
    ASSERT_EQ(::stat(QFile::encodeName(config).constData(), &status), 0);
    EXPECT_EQ(status.st_uid, ::geteuid());
    if (::geteuid() == 0) {
        // Icecast runs as its own user and reads it through its group.
        const group* icecast = ::getgrnam("icecast");
        ASSERT_NE(icecast, nullptr);
        EXPECT_EQ(status.st_gid, icecast->gr_gid);
        EXPECT_EQ(status.st_mode & 0777, 0640u);
    } else {
        EXPECT_EQ(status.st_mode & 0777, 0600u);
    }

    int feeders = 0;
    for (const ProcessId& process : DescendantsOf(s_stack->Pid())) {
        const QByteArray command = CommandLine(process.pid);
        feeders += command.startsWith("gst-launch-1.0 ") ? 1 : 0;
        for (const QByteArray& password : passwords)
            EXPECT_FALSE(command.contains(password)) << command.constData();
    }
    EXPECT_GE(feeders, 10);
}

TEST_F(DemoStackTest, StreamTitlesArriveAsTags)
{
    for (const char* channel : {"1", "2"}) { // one Ogg, one MP3 mount
        const StreamRow& row = Row(channel);
        SCOPED_TRACE(row.mount.toStdString());
        QProcess player;
        DieWithParent(player);
        player.start(QStringLiteral("gst-launch-1.0"),
                     {QStringLiteral("-t"), QStringLiteral("playbin"),
                      QStringLiteral("uri=http://127.0.0.1:%1%2")
                          .arg(m_icecastPort)
                          .arg(QString::fromUtf8(row.mount)),
                      QStringLiteral("audio-sink=fakesink sync=true")});
        QByteArray output;
        const QByteArray expected = "title: " + row.title;
        const auto deadline = Clock::now() + std::chrono::seconds(15);
        while (!output.contains(expected) && Clock::now() < deadline &&
               player.state() != QProcess::NotRunning) {
            player.waitForReadyRead(100);
            output += player.readAllStandardOutput();
        }
        player.kill();
        player.waitForFinished(5000);
        EXPECT_TRUE(output.contains(expected)) << output.constData();
    }
}

TEST_F(DemoStackTest, MisbehavingStreamsMisbehaveAsDocumented)
{
    const QByteArray base = "http://127.0.0.1:" + QByteArray::number(m_icecastPort);
    for (const char* name : {"missing", "ends", "silent"})
        EXPECT_EQ(GetText(s_stack->Port(), "/Wavelark/test/" + QByteArray(name) + ".rd"),
                  base + Row(name).mount + "\r\n")
            << name;

    const std::optional<StreamRead> missing =
        ReadStream(m_icecastPort, Row("missing").mount, 1 << 20, milliseconds(5000));
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->status, 404);

    // Every listener is cut off after a few seconds of audio.
    const auto start = Clock::now();
    const std::optional<StreamRead> ends =
        ReadStream(m_icecastPort, Row("ends").mount, 1 << 24, milliseconds(15000));
    ASSERT_TRUE(ends.has_value());
    EXPECT_EQ(ends->status, 200);
    EXPECT_TRUE(ends->closedByServer);
    EXPECT_GE(ends->body.size(), 32 * 1024);
    EXPECT_GE(Clock::now() - start, std::chrono::seconds(3));

    // Audio, then nothing at all while the connection stays open.
    const std::optional<StreamRead> silent = ReadStream(m_icecastPort, Row("silent").mount, 1 << 24,
                                                        milliseconds(15000), milliseconds(4000));
    ASSERT_TRUE(silent.has_value());
    EXPECT_EQ(silent->status, 200);
    EXPECT_FALSE(silent->closedByServer);
    EXPECT_GE(silent->body.size(), 8 * 1024);
    EXPECT_GE(silent->longestGap, milliseconds(4000));
}

// Without --wait-all the ready line comes once what a first start needs is live: the content
// server and every Icecast mount. The HLS stream follows, and the script says when.
TEST(DemoStackLifetime, ReadyForAFirstStartThenTheHlsStreamFollows)
{
    DemoStack stack({}, DemoStack::Ready::FirstStart);
    ASSERT_GT(stack.Port(), 0) << stack.Line().constData();
    const int icecastPort = stack.IcecastPort();
    ASSERT_GT(icecastPort, 0) << stack.Log().constData();

    QByteArray hlsMount;
    QList<QByteArray> checked;
    for (const StreamRow& row : ReadStreamTable()) {
        if (row.format == "hls")
            hlsMount = row.mount;
        if (row.offered == "-" || row.format == "hls" || row.format == "pls" ||
            checked.contains(row.mount))
            continue;
        checked.append(row.mount);
        SCOPED_TRACE(row.mount.toStdString());
        const std::optional<StreamRead> audio =
            ReadStream(icecastPort, row.mount, 4096, milliseconds(5000));
        ASSERT_TRUE(audio.has_value());
        EXPECT_EQ(audio->status, 200);
        EXPECT_GE(audio->body.size(), 4096);
    }
    EXPECT_GE(checked.size(), 8);
    ASSERT_FALSE(hlsMount.isEmpty());

    ASSERT_TRUE(stack.WaitForLog("all mounts live in ", 1, 30000)) << stack.Log().constData();
    const std::optional<StreamRead> list =
        ReadStream(stack.Port(), hlsMount, 1 << 16, milliseconds(5000));
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->status, 200);
    EXPECT_GE(list->body.count("#EXTINF"), 3) << list->body.constData();
}

// However the stack ends, nothing it started may stay behind: not the feeders, not the
// content server, not Icecast running under its own user.
TEST(DemoStackLifetime, LeavesNoProcessBehind)
{
    struct Case
    {
        int signal;
        bool cleanExit;
        // FirstStart: stopped at once, while the HLS stream is still starting.
        DemoStack::Ready ready;
    };
    for (const Case c : {Case{SIGTERM, true, DemoStack::Ready::AllMounts},
                         Case{SIGTERM, true, DemoStack::Ready::FirstStart},
                         Case{SIGINT, true, DemoStack::Ready::AllMounts},
                         Case{SIGKILL, false, DemoStack::Ready::AllMounts}}) {
        SCOPED_TRACE(strsignal(c.signal));
        SCOPED_TRACE(c.ready == DemoStack::Ready::FirstStart ? "at the first-start ready line"
                                                             : "with every mount live");
        DemoStack stack({}, c.ready);
        ASSERT_GT(stack.Port(), 0) << stack.Line().constData();
        const std::vector<ProcessId> children = DescendantsOf(stack.Pid());
        QByteArray icecastCommand;
        for (const ProcessId& child : children) {
            if (CommandLine(child.pid).startsWith("icecast2 "))
                icecastCommand = CommandLine(child.pid);
        }
        // Icecast, ten feeders and the content server at least.
        EXPECT_GE(children.size(), 12u);
        ASSERT_FALSE(icecastCommand.isEmpty());
        const QString configFolder =
            QFileInfo(QString::fromUtf8(icecastCommand.split(' ').value(2))).path();
        ASSERT_TRUE(configFolder.contains(QStringLiteral("wavelark-demo.")))
            << configFolder.toStdString();

        ASSERT_TRUE(stack.Stop(c.signal));
        if (c.cleanExit) {
            EXPECT_EQ(stack.Process().exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(stack.Process().exitCode(), 0);
        }
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        std::vector<int> left;
        do {
            left.clear();
            for (const ProcessId& child : children) {
                if (StillRunning(child))
                    left.push_back(child.pid);
            }
            if (!left.empty())
                ::usleep(100 * 1000);
        } while (!left.empty() && Clock::now() < deadline);
        EXPECT_TRUE(left.empty()) << left.size() << " processes left, first " << left.front()
                                  << ": " << CommandLine(left.front()).constData();
        if (c.cleanExit)
            EXPECT_FALSE(QDir(configFolder).exists());
        else
            QDir(configFolder).removeRecursively(); // a killed script cannot tidy up
    }
}

TEST(DemoStackLifetime, RefusesTakenPorts)
{
    LocalHttpServer occupant;
    ASSERT_TRUE(occupant.Start());
    const QString taken = QString::number(occupant.Port());
    for (const char* option : {"--content-port", "--icecast-port"}) {
        SCOPED_TRACE(option);
        QProcess stack;
        DieWithParent(stack);
        QStringList arguments{SourceDir() + QStringLiteral("/scripts/demo-stack"),
                              QStringLiteral("--content-port"),
                              QStringLiteral("0"),
                              QStringLiteral("--icecast-port"),
                              QStringLiteral("0"),
                              QStringLiteral("--content-server-bin"),
                              qEnvironmentVariable("WAVELARK_BUILD_DIR") +
                                  QStringLiteral("/wavelark-content-server"),
                              QString::fromLatin1(option),
                              taken};
        stack.start(QStringLiteral("bash"), arguments);
        ASSERT_TRUE(stack.waitForFinished(20000));
        EXPECT_EQ(stack.exitCode(), 1);
        EXPECT_TRUE(stack.readAllStandardOutput().isEmpty());
        EXPECT_TRUE(stack.readAllStandardError().contains("port " + taken.toUtf8()));
    }
}

} // namespace
