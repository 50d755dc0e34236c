#include "radio/TitleNotifier.h"
#include "support/PrivateSessionBus.h"
#include "support/Wait.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/prctl.h>

namespace {

constexpr char kDaemon[] = "/usr/lib/notification-daemon/notification-daemon";

void StartChild(QProcess& process, const QString& program, const QStringList& arguments,
                const QProcessEnvironment& environment)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
}

void StopChild(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

// One Notify call as a bus monitor saw it.
struct SeenNotify
{
    QString appName;
    uint replacesId = 0;
    QString icon;
    QString summary;
    QString body;
};

// Reads dbus-monitor's text: each Notify call and the arguments listed below it.
QList<SeenNotify> ParseMonitor(const QString& text)
{
    QList<SeenNotify> calls;
    const QStringList lines = text.split(QLatin1Char('\n'));
    static const QRegularExpression value(QStringLiteral("^\\s+(string|uint32) \"?(.*?)\"?$"));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines[i].startsWith(QLatin1String("method call")) ||
            !lines[i].contains(QLatin1String("member=Notify")))
            continue;
        QStringList arguments;
        for (qsizetype j = i + 1; j < lines.size() && arguments.size() < 5; ++j) {
            const QRegularExpressionMatch match = value.match(lines[j]);
            if (!match.hasMatch())
                break;
            arguments << match.captured(2);
        }
        if (arguments.size() == 5)
            calls.append(
                {arguments[0], arguments[1].toUInt(), arguments[2], arguments[3], arguments[4]});
    }
    return calls;
}

} // namespace

// A desktop in miniature: an X server for the notification service to draw on, a private
// session bus, Debian's notification-daemon owning org.freedesktop.Notifications there, and a
// bus monitor that reads every Notify call as it passes.
class TitleNotifierTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_desktop = std::make_unique<Desktop>();
        if (!s_desktop->Start())
            s_desktop.reset();
    }
    static void TearDownTestSuite() { s_desktop.reset(); }

    void SetUp() override
    {
        if (!s_desktop)
            GTEST_SKIP() << "no X server, session bus or notification-daemon";
    }

    struct Desktop
    {
        PrivateSessionBus bus;
        QProcess x;
        QProcess daemon;
        QProcess monitor;
        QString display;

        ~Desktop()
        {
            QDBusConnection::disconnectFromBus(QStringLiteral("title-notifier-test"));
            StopChild(monitor);
            StopChild(daemon);
            StopChild(x);
        }

        bool Start()
        {
            if (!QFile::exists(QString::fromLatin1(kDaemon)) || !bus.Start())
                return false;
            const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
            StartChild(x, QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"),
                        QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("640x480x24"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp")},
                       system);
            if (!WaitUntil([this] { return x.canReadLine() || x.state() == QProcess::NotRunning; },
                           20000))
                return false;
            display = QLatin1Char(':') + QString::fromLatin1(x.readLine()).trimmed();
            QProcessEnvironment environment = system;
            environment.insert(QStringLiteral("DISPLAY"), display);
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.Address());
            environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
            StartChild(daemon, QString::fromLatin1(kDaemon), {}, environment);
            StartChild(monitor, QStringLiteral("dbus-monitor"),
                       {QStringLiteral("--address"), bus.Address(),
                        QStringLiteral("type='method_call',interface='org.freedesktop."
                                       "Notifications'")},
                       environment);
            QDBusConnection connection = Connection();
            const bool serviceUp = WaitUntil(
                [&] {
                    return connection.interface()->isServiceRegistered(
                        QStringLiteral("org.freedesktop.Notifications"));
                },
                20000);
            // The monitor reports its own name first, once it listens.
            const bool monitoring = WaitUntil(
                [this] {
                    return monitor.bytesAvailable() > 0 || monitor.state() == QProcess::NotRunning;
                },
                20000);
            return serviceUp && monitoring && monitor.state() == QProcess::Running;
        }

        QDBusConnection Connection() const
        {
            return QDBusConnection::connectToBus(bus.Address(),
                                                 QStringLiteral("title-notifier-test"));
        }
    };

    // The Notify calls seen since the suite began, once `count` of them passed.
    static QList<SeenNotify> SeenCalls(qsizetype count)
    {
        WaitUntil(
            [count] {
                s_monitorText += QString::fromUtf8(s_desktop->monitor.readAllStandardOutput());
                return ParseMonitor(s_monitorText).size() >= count;
            },
            10000);
        return ParseMonitor(s_monitorText);
    }

    static inline std::unique_ptr<Desktop> s_desktop;
    static inline QString s_monitorText;
    std::chrono::steady_clock::time_point m_now{std::chrono::hours(1)};
};

TEST_F(TitleNotifierTest, ShowsTitleAndChannelReplacingTheLastAtMostOncePerInterval)
{
    TitleNotifier notifier(s_desktop->Connection());
    notifier.SetClock([this] { return m_now; });
    QSignalSpy shown(&notifier, &TitleNotifier::Shown);

    // Off by default: nothing is sent.
    notifier.Offer(QStringLiteral("Ignored"), QStringLiteral("Radio One"));
    notifier.SetEnabled(true);
    notifier.Offer(QStringLiteral("Artist - Song"), QStringLiteral("Radio <One>"));
    ASSERT_TRUE(WaitUntil([&] { return shown.size() == 1; }, 10000));
    const uint first = notifier.LastId();
    EXPECT_NE(first, 0u);

    // Within the interval: titles wait, the station's own name cancels the wait, and only the
    // newest is shown once the interval is over.
    m_now += std::chrono::seconds(3);
    notifier.Offer(QStringLiteral("Too Soon"), QStringLiteral("Radio One"));
    notifier.Offer(QStringLiteral("Radio One"), QStringLiteral("Radio One"));
    notifier.SendDue();
    m_now += std::chrono::seconds(3);
    notifier.Offer(QStringLiteral("Third \u2013 Song"), QStringLiteral("Radio One"));
    notifier.SendDue();
    EXPECT_EQ(shown.size(), 1);
    m_now += std::chrono::seconds(4);
    notifier.SendDue();
    ASSERT_TRUE(WaitUntil([&] { return shown.size() == 2; }, 10000));
    // The service replaced the first notification instead of adding one.
    EXPECT_EQ(notifier.LastId(), first);

    // The station's name alone is never announced, even after the interval.
    m_now += std::chrono::seconds(30);
    notifier.Offer(QStringLiteral("Radio One"), QStringLiteral("Radio One"));

    const QList<SeenNotify> calls = SeenCalls(2);
    ASSERT_EQ(calls.size(), 2) << s_monitorText.toStdString();
    EXPECT_EQ(calls[0].appName, QStringLiteral("Wavelark"));
    EXPECT_EQ(calls[0].replacesId, 0u);
    EXPECT_EQ(calls[0].icon, QStringLiteral("wavelark"));
    EXPECT_EQ(calls[0].summary, QStringLiteral("Artist - Song"));
    EXPECT_EQ(calls[0].body, QStringLiteral("Radio &lt;One&gt;"));
    EXPECT_EQ(calls[1].replacesId, first);
    EXPECT_EQ(calls[1].summary, QStringLiteral("Third \u2013 Song"));
    EXPECT_EQ(calls[1].body, QStringLiteral("Radio One"));
}

TEST_F(TitleNotifierTest, WithoutServiceOrBusNothingHappensAndNothingWaits)
{
    // A bus with no notification service on it.
    PrivateSessionBus empty;
    ASSERT_TRUE(empty.Start());
    {
        QDBusConnection connection =
            QDBusConnection::connectToBus(empty.Address(), QStringLiteral("no-service"));
        TitleNotifier notifier(connection);
        notifier.SetEnabled(true);
        QSignalSpy shown(&notifier, &TitleNotifier::Shown);
        notifier.Offer(QStringLiteral("Artist - Song"), QStringLiteral("Radio One"));
        QTest::qWait(300);
        EXPECT_EQ(shown.size(), 0);
        EXPECT_EQ(notifier.LastId(), 0u);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("no-service"));

    // No bus at all.
    TitleNotifier unconnected{QDBusConnection(QStringLiteral("never-connected"))};
    unconnected.SetEnabled(true);
    unconnected.Offer(QStringLiteral("Artist - Song"), QStringLiteral("Radio One"));
    EXPECT_EQ(unconnected.LastId(), 0u);
}
