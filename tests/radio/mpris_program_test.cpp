// The real program on a private session bus (the one mpris_test.cpp starts for this test
// program): a second instance never reaches the bus, a missing bus costs one log line and
// nothing else, and the title an Icecast mount sends reaches the MPRIS metadata.

#include "radio/Mpris.h"
#include "support/DemoStack.h"
#include "support/LocalHttpServer.h"
#include "support/TestStreams.h"
#include "support/Wait.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/prctl.h>

namespace {

const QString kService = QString::fromLatin1(Mpris::kServiceName);

QString BuildDir()
{
    return qEnvironmentVariable("WAVELARK_BUILD_DIR");
}

QDBusConnection Client()
{
    return QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"),
                                         QStringLiteral("program-test-client"));
}

// The process id owning `name` on the private bus, or 0.
qint64 OwnerPid(const QString& name)
{
    const QDBusReply<uint> pid = Client().interface()->servicePid(name);
    return pid.isValid() ? qint64(pid.value()) : 0;
}

// Every process id with a connection to the private bus.
std::vector<qint64> ConnectedPids()
{
    std::vector<qint64> pids;
    const QDBusReply<QStringList> names = Client().interface()->registeredServiceNames();
    for (const QString& name : names.value()) {
        if (name.startsWith(QLatin1Char(':')))
            pids.push_back(OwnerPid(name));
    }
    return pids;
}

// The player's Metadata xesam:title as the desktop reads it, or an empty text.
QString TitleOnTheBus()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, QString::fromLatin1(Mpris::kObjectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QString::fromLatin1(Mpris::kPlayerInterface) << QStringLiteral("Metadata");
    // Another process answers: a blocking call is fine here.
    const QDBusMessage reply = Client().call(get, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QString();
    const QVariant inner = reply.arguments().at(0).value<QDBusVariant>().variant();
    const QVariantMap metadata = qdbus_cast<QVariantMap>(inner.value<QDBusArgument>());
    return metadata.value(QStringLiteral("xesam:title")).toString();
}

// One run of build/wavelark in its own working folder with the shipped archive, on offscreen
// widgets and a silent sink. The destructor ends it as a desktop logout would (SIGTERM).
class Program
{
public:
    // `runtimeFolder` holds the single-instance lock: runs that share it are one user's.
    // `adjust` changes the program's environment last.
    Program(const QString& contentServer, const QByteArray& startChannel,
            const QString& runtimeFolder, const QString& sessionBus = QString(),
            const std::function<void(QProcessEnvironment&)>& adjust = {})
    {
        QDir(m_folder.path()).mkpath(QStringLiteral("Interface"));
        QFile::link(BuildDir() + QStringLiteral("/Interface/radio.int"),
                    m_folder.filePath(QStringLiteral("Interface/radio.int")));
        if (!startChannel.isEmpty()) {
            QFile channel(m_folder.filePath(QStringLiteral("channel.dat")));
            if (channel.open(QIODevice::WriteOnly))
                channel.write("package0\n" + startChannel);
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
        env.insert(QStringLiteral("WAVELARK_CONTENT_SERVER"), contentServer);
        env.insert(QStringLiteral("WAVELARK_AUDIO_SINK"), QStringLiteral("fakesink sync=true"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("wavelark.*.info=true"));
        // As in the end-to-end tests: what X and GLib keep until exit is not this program's
        // leak, and would turn the sanitizer build's exit codes red.
        const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   asan + (asan.isEmpty() ? QString() : QStringLiteral(":")) +
                       QStringLiteral("detect_leaks=0"));
        if (!sessionBus.isEmpty())
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBus);
        if (adjust)
            adjust(env);
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(m_folder.path());
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start(BuildDir() + QStringLiteral("/wavelark"), QStringList());
        m_process.waitForStarted(5000);
    }
    ~Program() { Stop(); }

    // Ends the program and returns its exit code (-1 when it had to be killed).
    int Stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return m_process.exitCode();
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        if (m_process.waitForFinished(10000))
            return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
        m_process.kill();
        m_process.waitForFinished(5000);
        return -1;
    }
    bool Running() const { return m_process.state() == QProcess::Running; }
    qint64 Pid() const { return m_process.processId(); }
    QString Log()
    {
        m_log += QString::fromUtf8(m_process.readAll());
        return m_log;
    }

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    QString m_log;
};

// A content server offering every channel, each playing the test tone.
class ToneContentServer
{
public:
    bool Start(const QString& toneUrl)
    {
        const std::string stream = toneUrl.toStdString() + "\r\n";
        m_http.server().Get(R"(/Wavelark/freechannels/(.*))",
                            [stream](const httplib::Request& request, httplib::Response& response) {
                                if (request.path == "/Wavelark/freechannels/package0.rd")
                                    response.set_content(std::string(40, '1'), "text/plain");
                                else
                                    response.set_content(stream, "text/plain");
                            });
        return m_http.Start();
    }
    QString Root() const { return QString::fromStdString(m_http.Root()); }

private:
    LocalHttpServer m_http;
};

class MprisProgramTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!Client().isConnected())
            GTEST_SKIP() << "no private session bus (is dbus-daemon installed?)";
        if (!QFile::exists(BuildDir() + QStringLiteral("/wavelark")))
            GTEST_SKIP() << "the program is not built";
        ASSERT_TRUE(m_streams.Start());
        ASSERT_TRUE(m_content.Start(m_streams.Url(QStringLiteral("tone.ogg"))));
        ASSERT_TRUE(m_runtime.isValid() && m_otherRuntime.isValid());
        for (const QTemporaryDir* dir : {&m_runtime, &m_otherRuntime})
            QFile::setPermissions(dir->path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QTemporaryDir m_runtime;
    QTemporaryDir m_otherRuntime;
    TestStreams m_streams;
    ToneContentServer m_content;
};

} // namespace

TEST_F(MprisProgramTest, ASecondInstanceNeverOwnsTheName)
{
    Program first(m_content.Root(), "Elbwelle Hamburg", m_runtime.path());
    ASSERT_TRUE(WaitUntil([&] { return OwnerPid(kService) != 0; }, 15000))
        << first.Log().toStdString();
    EXPECT_EQ(OwnerPid(kService), first.Pid());

    // The same user starts it again: it stops at the single-instance check, before the bus,
    // and waits at its message (which nobody answers here).
    {
        Program second(m_content.Root(), QByteArray(), m_runtime.path());
        const QDeadlineTimer deadline(2000);
        while (!deadline.hasExpired() && second.Running()) {
            const std::vector<qint64> pids = ConnectedPids();
            ASSERT_EQ(std::count(pids.begin(), pids.end(), second.Pid()), 0);
            ASSERT_EQ(OwnerPid(kService), first.Pid());
            QTest::qWait(50);
        }
    }
    // Even a full second run (another lock folder) cannot take the name, nor queue for it.
    {
        Program other(m_content.Root(), QByteArray(), m_otherRuntime.path());
        EXPECT_TRUE(WaitUntil(
            [&] { return other.Log().contains(QStringLiteral("is taken on the session bus")); },
            15000))
            << other.Log().toStdString();
        EXPECT_EQ(OwnerPid(kService), first.Pid());
        EXPECT_TRUE(other.Running());
    }
    EXPECT_EQ(OwnerPid(kService), first.Pid());
    EXPECT_EQ(first.Stop(), 0);
    EXPECT_TRUE(WaitUntil([] { return OwnerPid(kService) == 0; }, 5000));
}

TEST_F(MprisProgramTest, WithoutASessionBusItPlaysAndSaysSoOnce)
{
    QTemporaryDir nowhere;
    Program program(m_content.Root(), "Elbwelle Hamburg", m_runtime.path(),
                    QStringLiteral("unix:path=") + nowhere.filePath(QStringLiteral("no-bus")));
    EXPECT_TRUE(WaitUntil(
        [&] { return program.Log().contains(QStringLiteral("first audio buffer")); }, 15000))
        << program.Log().toStdString();
    // The bus is looked for before the start channel is asked for, so by the first audio
    // buffer every such line of the start-up has been written.
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(program.Log().count(QStringLiteral("no D-Bus session bus")), 1)
        << program.Log().toStdString();
    EXPECT_EQ(program.Stop(), 0);
}

TEST_F(MprisProgramTest, WithNoSessionBusAnywhereNothingTriesToStartOne)
{
    // Where no bus is named and none has a socket, libdbus and GLib would each run dbus-launch
    // to start one; a stand-in on the PATH notes every call.
    QTemporaryDir tools;
    const QString marker = tools.filePath(QStringLiteral("dbus-launch-ran"));
    QFile launcher(tools.filePath(QStringLiteral("dbus-launch")));
    ASSERT_TRUE(launcher.open(QIODevice::WriteOnly));
    launcher.write("#!/bin/sh\necho \"$@\" >> '" + QFile::encodeName(marker) + "'\nexit 1\n");
    launcher.close();
    launcher.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
    // On a real X display: libdbus starts a bus only for one, and there Qt's tray icon asks for
    // the session bus as it is made, before anything of the program's own runs.
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"),
               {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                QStringLiteral("0"), QStringLiteral("640x480x24"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp")});
    const auto stopXvfb = qScopeGuard([&xvfb] {
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    });
    ASSERT_TRUE(WaitUntil([&] { return xvfb.canReadLine(); }, 10000)) << "Xvfb did not start";
    const QString display = QLatin1Char(':') + QString::fromLatin1(xvfb.readLine().trimmed());
    Program program(m_content.Root(), "Elbwelle Hamburg", m_runtime.path(), QString(),
                    [&tools, &display](QProcessEnvironment& env) {
                        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
                        env.remove(QStringLiteral("GSETTINGS_BACKEND"));
                        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
                        env.insert(QStringLiteral("DISPLAY"), display);
                        env.insert(QStringLiteral("PATH"), tools.path() + QLatin1Char(':') +
                                                               env.value(QStringLiteral("PATH")));
                    });
    EXPECT_TRUE(WaitUntil(
        [&] { return program.Log().contains(QStringLiteral("first audio buffer")); }, 15000))
        << program.Log().toStdString();
    EXPECT_EQ(program.Log().count(QStringLiteral("no D-Bus session bus")), 1)
        << program.Log().toStdString();
    EXPECT_EQ(program.Stop(), 0);
    EXPECT_FALSE(QFile::exists(marker)) << "dbus-launch ran";
}

TEST_F(MprisProgramTest, TheTitleOfAnIcecastMountReachesTheMetadata)
{
    DemoStack stack;
    ASSERT_NE(stack.Port(), 0) << "the demo stack did not start: " << stack.Log().toStdString();
    const QString root = QStringLiteral("http://127.0.0.1:%1/").arg(stack.Port());
    // Channel 1 is an Ogg mount (Vorbis comment), channel 2 an MP3 mount (Icecast metadata).
    const struct
    {
        const char* channel;
        const char* title;
    } cases[] = {
        {"Elbwelle Hamburg", "Tone 330 Hz"},
        {"Radio Schwarzwaldtal", "Tone 470 Hz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.channel);
        Program program(root, c.channel, m_runtime.path());
        EXPECT_TRUE(
            WaitUntil([&] { return TitleOnTheBus() == QString::fromLatin1(c.title); }, 20000))
            << TitleOnTheBus().toStdString() << "\n"
            << program.Log().toStdString();
        EXPECT_EQ(program.Stop(), 0);
        EXPECT_TRUE(WaitUntil([] { return OwnerPid(kService) == 0; }, 5000));
    }
}
