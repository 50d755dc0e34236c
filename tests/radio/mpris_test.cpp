// The program as an MPRIS player on a private session bus started by the test: the real hidden
// main window with a real player on fakesink, a content server on 127.0.0.1, and a D-Bus client
// on its own connection that calls, reads and listens as a desktop panel would.

#include "app/InterfaceArchive.h"
#include "directory/ChannelTree.h"
#include "directory/ContentServer.h"
#include "hosted/MediaPlayer.h"
#include "radio/Mpris.h"
#include "radio/RadioFixture.h"
#include "radio/Station.h"
#include "radio/StationIds.h"
#include "radio/TrayIcon.h"
#include "radio/TrayToolTip.h"
#include "radio/Wavelark.h"
#include "support/LocalHttpServer.h"
#include "support/PrivateSessionBus.h"
#include "support/TempFolder.h"
#include "support/TestStreams.h"
#include "support/Wait.h"
#include "ui/DialogUnits.h"
#include "ui/MessageDialog.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QComboBox>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <condition_variable>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <optional>
#include <sys/prctl.h>

// Readable texts in failure messages.
static void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// Every test of this program runs on the private bus, also the ones of the hidden main window
// in other files: nothing may reach the session bus of the person running the tests.
class SessionBusEnvironment : public testing::Environment
{
public:
    void SetUp() override
    {
        // GLib's own session-bus connection (GSettings through dconf, reached from GStreamer's
        // HTTP source) ends the process with SIGTERM when its bus goes away, as a desktop
        // session wants; keep GLib off the test's bus so that it can be stopped at the end.
        qputenv("GSETTINGS_BACKEND", "memory");
        qputenv("GIO_USE_VFS", "local");
        s_bus = std::make_unique<PrivateSessionBus>();
        if (!s_bus->Start()) {
            s_bus.reset();
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/wavelark-test-bus");
            return;
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", s_bus->Address().toUtf8());
    }
    void TearDown() override
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("mpris-test-client"));
        s_bus.reset();
    }
    static inline std::unique_ptr<PrivateSessionBus> s_bus;
};

[[maybe_unused]] testing::Environment* const kSessionBus =
    testing::AddGlobalTestEnvironment(new SessionBusEnvironment);

const QString kService = QString::fromLatin1(Mpris::kServiceName);
const QString kPath = QString::fromLatin1(Mpris::kObjectPath);
const QString kRoot = QString::fromLatin1(Mpris::kRootInterface);
const QString kPlayer = QString::fromLatin1(Mpris::kPlayerInterface);
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// The desktop's side: its own connection to the private bus.
QDBusConnection Client()
{
    return QDBusConnection::connectToBus(SessionBusEnvironment::s_bus->Address(),
                                         QStringLiteral("mpris-test-client"));
}

// Sends `message` and runs the event loop until the answer came (the player lives on this
// thread, so a blocking call could never be answered).
QDBusMessage Send(const QDBusMessage& message)
{
    QDBusPendingCall call = Client().asyncCall(message, 5000);
    WaitUntil([&] { return call.isFinished(); }, 6000);
    return call.reply();
}

QDBusMessage Call(const QString& interface, const QString& method)
{
    return Send(QDBusMessage::createMethodCall(kService, kPath, interface, method));
}

// Plain values for what arrives as D-Bus structures.
QVariant Plain(const QVariant& value)
{
    if (value.canConvert<QDBusVariant>())
        return Plain(value.value<QDBusVariant>().variant());
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentSignature() == QLatin1String("a{sv}")) {
            QVariantMap map = qdbus_cast<QVariantMap>(argument);
            for (auto it = map.begin(); it != map.end(); ++it)
                it.value() = Plain(it.value());
            return map;
        }
    }
    if (value.userType() == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value;
}

QVariant Get(const QString& interface, const QString& name)
{
    QDBusMessage get =
        QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
    get << interface << name;
    const QDBusMessage reply = Send(get);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QVariant();
    return Plain(reply.arguments().at(0));
}

bool Set(const QString& interface, const QString& name, const QVariant& value)
{
    QDBusMessage set =
        QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Set"));
    set << interface << name << QVariant::fromValue(QDBusVariant(value));
    return Send(set).type() == QDBusMessage::ReplyMessage;
}

QVariantMap Metadata()
{
    return Get(kPlayer, QStringLiteral("Metadata")).toMap();
}

std::string StreamFile(int n)
{
    return "/Wavelark/freechannels/package0/" + std::to_string(n) + ".rd";
}

// The content server for the four channels above ("1101": all but Gamma are offered), each
// channel's stream file pointing where the test says; it also serves an ICY stream at
// /icy.mp3: the test tone MP3 with Shoutcast metadata every kMetaInterval bytes carrying
// the title bytes the test set. It counts the paths asked for.
class ContentAndIcyServer
{
public:
    static constexpr size_t kMetaInterval = 2048;

    bool Start(const QString& defaultStream, const QByteArray& toneMp3)
    {
        m_defaultStream = defaultStream.toStdString();
        m_tone = toneMp3.toStdString();
        m_http.server().Get(
            R"(/Wavelark/freechannels/(.*))",
            [this](const httplib::Request& request, httplib::Response& response) {
                std::unique_lock lock(m_mutex);
                m_paths.push_back(request.path);
                if (request.path == "/Wavelark/freechannels/package0.rd") {
                    response.set_content("1101", "text/plain");
                    return;
                }
                if (request.path == m_heldPath) {
                    // A server that hangs: the answer comes only when the test lets it go.
                    m_released.wait(lock, [this] { return m_release; });
                    ++m_heldAnswers;
                }
                if (m_streamFilesDown) {
                    response.set_content("<!DOCTYPE html><html>Not Found</html>", "text/html");
                    return;
                }
                const auto special = m_streams.find(request.path);
                response.set_content(
                    (special != m_streams.end() ? special->second : m_defaultStream) + "\r\n",
                    "text/plain");
            });
        m_http.server().Get("/icy.mp3",
                            [this](const httplib::Request& request, httplib::Response& response) {
                                std::string title;
                                {
                                    std::lock_guard lock(m_mutex);
                                    title = m_icyTitle;
                                }
                                if (request.get_header_value("Icy-MetaData") != "1") {
                                    response.set_content(m_tone, "audio/mpeg");
                                    return;
                                }
                                std::string metadata = "StreamTitle='" + title + "';";
                                metadata.resize((metadata.size() + 15) / 16 * 16, '\0');
                                std::string body;
                                for (size_t at = 0; at < m_tone.size(); at += kMetaInterval) {
                                    const std::string audio = m_tone.substr(at, kMetaInterval);
                                    body += audio;
                                    if (audio.size() == kMetaInterval) {
                                        body += char(metadata.size() / 16);
                                        body += metadata;
                                    }
                                }
                                response.set_header("icy-metaint", std::to_string(kMetaInterval));
                                response.set_header("icy-name", "Wavelark ICY test");
                                response.set_content(body, "audio/mpeg");
                            });
        return m_http.Start();
    }
    std::string Root() const { return m_http.Root(); }
    QString IcyUrl() const { return QString::fromStdString(m_http.Root() + "icy.mp3"); }
    int Requests(const std::string& path)
    {
        std::lock_guard lock(m_mutex);
        return int(std::count(m_paths.begin(), m_paths.end(), path));
    }
    void SetStream(int channel, const QString& url)
    {
        std::lock_guard lock(m_mutex);
        m_streams[StreamFile(channel)] = url.toStdString();
    }
    void SetIcyTitle(const QByteArray& bytes)
    {
        std::lock_guard lock(m_mutex);
        m_icyTitle = bytes.toStdString();
    }
    void SetStreamFilesDown(bool down)
    {
        std::lock_guard lock(m_mutex);
        m_streamFilesDown = down;
    }
    // Stream file `channel` is answered only after Release().
    void Hold(int channel)
    {
        std::lock_guard lock(m_mutex);
        m_heldPath = StreamFile(channel);
    }
    void Release()
    {
        {
            std::lock_guard lock(m_mutex);
            m_release = true;
        }
        m_released.notify_all();
    }
    int HeldAnswers()
    {
        std::lock_guard lock(m_mutex);
        return m_heldAnswers;
    }
    // A held answer must go before the members its handler uses.
    ~ContentAndIcyServer()
    {
        Release();
        m_http.Stop();
    }

private:
    LocalHttpServer m_http;
    std::mutex m_mutex;
    std::vector<std::string> m_paths;
    std::map<std::string, std::string> m_streams;
    std::string m_defaultStream;
    std::string m_tone;
    std::string m_icyTitle;
    bool m_streamFilesDown = false;
    std::string m_heldPath;
    std::condition_variable m_released;
    bool m_release = false;
    int m_heldAnswers = 0;
};

// Listens for PropertiesChanged of the player object on the client connection.
class ChangeRecorder : public QObject
{
    Q_OBJECT

public:
    bool Listen()
    {
        return Client().connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"),
                                this, SLOT(OnChanged(QDBusMessage)));
    }
    ~ChangeRecorder() override
    {
        Client().disconnect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                            SLOT(OnChanged(QDBusMessage)));
    }
    // Each signal's changed properties, as plain values.
    std::vector<QVariantMap> changes;

public Q_SLOTS:
    void OnChanged(const QDBusMessage& message)
    {
        const QList<QVariant> arguments = message.arguments();
        if (arguments.size() == 3 && arguments.at(0).toString() == kPlayer)
            changes.push_back(Plain(arguments.at(1)).toMap());
    }
};

class MprisTest : public WithTestStreams
{
protected:
    void SetUp() override
    {
        if (!SessionBusEnvironment::s_bus)
            GTEST_SKIP() << "no private session bus (is dbus-daemon installed?)";
        if (!s_streams)
            GTEST_SKIP() << "no test streams";
        qputenv("WAVELARK_AUDIO_SINK", "fakesink sync=true");
        QFile mp3(s_streams->FilePath(QStringLiteral("tone.mp3")));
        ASSERT_TRUE(mp3.open(QIODevice::ReadOnly));
        ASSERT_TRUE(m_content.Start(s_streams->Url(QStringLiteral("tone.ogg")), mp3.readAll()));
        m_server =
            std::make_unique<ContentServer>(QByteArray::fromStdString(m_content.Root()), "3.0");
        m_folder.Write(QStringLiteral("Interface/radio.int"), ArchiveWithCatalogue(kCatalogue));
        m_archive = LoadInterfaceArchive(m_folder.FilePath(QStringLiteral("Interface/radio.int")));
    }
    void TearDown() override
    {
        m_window.reset();
        qunsetenv("WAVELARK_AUDIO_SINK");
    }

    // Starts the hidden main window with `channel` saved as the last one, at volume 30.
    CWavelark& Start(const QByteArray& channel)
    {
        if (!channel.isEmpty())
            m_folder.Write(QStringLiteral("channel.dat"), "package0\n" + channel);
        m_folder.Write(QStringLiteral("setting.dat"), "1\n1\n0\n0\n30");
        m_window = std::make_unique<CWavelark>(m_catalogue, m_skin, *m_server, m_archive);
        m_window->SetClock([] { return ClockReading{0, 0}; });
        m_window->OnInitDialog();
        EXPECT_TRUE(Settled());
        return *m_window;
    }

    // Runs the event loop until no request waits for the content server any more.
    bool Settled() const
    {
        const bool settled = WaitUntil([this] { return !m_window->Playback().IsBusy(); }, 20000);
        // What the answer set off after the input at hand (the open window following it).
        QCoreApplication::processEvents();
        return settled;
    }

    // Waits until `count` signals arrived, then for any that should not come: the bus keeps the
    // order of what the player sends, so once the answer to a call sent now is in, so is every
    // signal the player sent before answering it.
    static void SettleChanges(const ChangeRecorder& recorder, size_t count)
    {
        WaitUntil([&] { return recorder.changes.size() >= count; }, 5000);
        QDBusMessage get =
            QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
        get << kPlayer << QStringLiteral("PlaybackStatus");
        Send(get);
        QCoreApplication::processEvents();
    }

    TempFolder m_folder;
    ContentAndIcyServer m_content;
    std::unique_ptr<ContentServer> m_server;
    InterfaceArchive m_archive;
    Catalogue m_catalogue;
    Skin m_skin;
    std::unique_ptr<CWavelark> m_window;
};

} // namespace

TEST_F(MprisTest, TheBusListsBothInterfacesWithWhatTheRadioCanDo)
{
    CWavelark& window = Start("Beta");
    ASSERT_NE(window.DesktopBus(), nullptr);
    ASSERT_TRUE(window.DesktopBus()->IsPublished());
    EXPECT_EQ(Client().interface()->servicePid(kService).value(),
              quint32(QCoreApplication::applicationPid()));

    const QDBusMessage introspection =
        Call(QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
    ASSERT_EQ(introspection.type(), QDBusMessage::ReplyMessage);
    const QString xml = introspection.arguments().value(0).toString();
    EXPECT_TRUE(xml.contains(QStringLiteral("<interface name=\"org.mpris.MediaPlayer2\">")))
        << xml.toStdString();
    EXPECT_TRUE(xml.contains(QStringLiteral("<interface name=\"org.mpris.MediaPlayer2.Player\">")));

    const struct
    {
        const QString& interface;
        const char* name;
        QVariant expected;
    } cases[] = {
        {kRoot, "Identity", QStringLiteral("Wavelark")},
        {kRoot, "DesktopEntry", QStringLiteral("wavelark")},
        {kRoot, "CanQuit", true},
        {kRoot, "CanRaise", true},
        {kRoot, "HasTrackList", false},
        {kRoot, "SupportedUriSchemes", QStringList()},
        {kPlayer, "PlaybackStatus", QStringLiteral("Playing")},
        {kPlayer, "Volume", 0.3},
        {kPlayer, "CanGoNext", true},
        {kPlayer, "CanGoPrevious", false},
        {kPlayer, "CanPlay", true},
        {kPlayer, "CanPause", true},
        {kPlayer, "CanSeek", false},
        {kPlayer, "CanControl", true},
        {kPlayer, "Rate", 1.0},
        {kPlayer, "Position", qlonglong(0)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Get(c.interface, QString::fromLatin1(c.name)), c.expected) << c.name;

    const QVariantMap metadata = Metadata();
    EXPECT_EQ(metadata.value(QStringLiteral("mpris:trackid")).toString(),
              Mpris::TrackIdFor("Beta"));
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Beta"));
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:album")).toString(), QStringLiteral("Beta"));
}

TEST_F(MprisTest, TransportCallsStopAndResumeTheRealPlayerWithOneSignalPerChange)
{
    CWavelark& window = Start("Beta");
    ASSERT_EQ(window.Playback().IsPlaying(), 1);
    ChangeRecorder recorder;
    ASSERT_TRUE(recorder.Listen());

    // Each call after the one before; a call that changes nothing sends nothing.
    const struct
    {
        const char* method;
        int playing;
        int streamRequests;
        const char* status; // the one signal expected, or nullptr for none
    } steps[] = {
        {"PlayPause", 0, 1, "Stopped"}, {"PlayPause", 1, 2, "Playing"}, {"Play", 1, 2, nullptr},
        {"Pause", 0, 2, "Stopped"},     {"Stop", 0, 2, nullptr},        {"Pause", 0, 2, nullptr},
        {"Play", 1, 3, "Playing"},      {"Stop", 0, 3, "Stopped"},      {"Previous", 0, 3, nullptr},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.method);
        recorder.changes.clear();
        ASSERT_EQ(Call(kPlayer, QString::fromLatin1(step.method)).type(),
                  QDBusMessage::ReplyMessage);
        ASSERT_TRUE(Settled());
        SettleChanges(recorder, step.status ? 1 : 0);
        EXPECT_EQ(window.Playback().IsPlaying(), step.playing);
        EXPECT_EQ(m_content.Requests(StreamFile(2)), step.streamRequests);
        if (!step.status) {
            EXPECT_TRUE(recorder.changes.empty());
            continue;
        }
        ASSERT_EQ(recorder.changes.size(), 1u);
        EXPECT_EQ(recorder.changes[0], (QVariantMap{{QStringLiteral("PlaybackStatus"),
                                                     QString::fromLatin1(step.status)}}));
        EXPECT_EQ(Get(kPlayer, QStringLiteral("PlaybackStatus")).toString(),
                  QString::fromLatin1(step.status));
    }
    // The resumed stream really sounds.
    ASSERT_EQ(Call(kPlayer, QStringLiteral("Play")).type(), QDBusMessage::ReplyMessage);
    QSignalSpy firstAudio(window.Player(), &MediaPlayer::FirstAudio);
    EXPECT_TRUE(firstAudio.wait(5000));
}

TEST_F(MprisTest, VolumeFromTheBusMovesThePlayerLikeTheSliderAndLeavesTheSettingsFile)
{
    CWavelark& window = Start("Beta");
    ChangeRecorder recorder;
    ASSERT_TRUE(recorder.Listen());
    const QByteArray settings = m_folder.Read(QStringLiteral("setting.dat"));

    const struct
    {
        double set;
        int level;        // what the player holds afterwards
        double announced; // the Volume signalled, or -1 for no signal
    } cases[] = {
        {0.62, 62, 0.62}, {0.62, 62, -1},  {0.624, 62, -1},   {0.0, 0, 0.0},
        {-1.0, 0, -1},    {2.5, 100, 1.0}, {0.305, 31, 0.31},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.set);
        recorder.changes.clear();
        ASSERT_TRUE(Set(kPlayer, QStringLiteral("Volume"), c.set));
        SettleChanges(recorder, c.announced >= 0 ? 1 : 0);
        EXPECT_EQ(window.Playback().Volume(), c.level);
        EXPECT_EQ(window.Player()->Volume(), c.level);
        if (c.announced < 0) {
            EXPECT_TRUE(recorder.changes.empty());
            continue;
        }
        ASSERT_EQ(recorder.changes.size(), 1u);
        EXPECT_EQ(recorder.changes[0], (QVariantMap{{QStringLiteral("Volume"), c.announced}}));
    }
    EXPECT_EQ(m_folder.Read(QStringLiteral("setting.dat")), settings);
}

TEST_F(MprisTest, NextPlaysAnotherOfferedChannelAsRandomChannelDoes)
{
    CWavelark& window = Start("Beta");
    ChangeRecorder recorder;
    ASSERT_TRUE(recorder.Listen());
    // This reading of the clock picks Delta.
    window.SetClock([] { return ClockReading{0, 2}; });

    ASSERT_EQ(Call(kPlayer, QStringLiteral("Next")).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(Settled());
    SettleChanges(recorder, 1);
    EXPECT_EQ(m_content.Requests(StreamFile(4)), 1);
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Delta");
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
    ASSERT_EQ(recorder.changes.size(), 1u);
    const QVariantMap metadata = recorder.changes[0].value(QStringLiteral("Metadata")).toMap();
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Delta"));
    EXPECT_EQ(metadata.value(QStringLiteral("mpris:trackid")).toString(),
              Mpris::TrackIdFor("Delta"));
    EXPECT_EQ(Metadata(), metadata);
    // The tray's Random Channel does not store the pick; neither does Next.
    EXPECT_EQ(m_folder.Read(QStringLiteral("channel.dat")), "package0\nBeta");
}

TEST_F(MprisTest, QuitTakesTheExitPath)
{
    CWavelark& window = Start("Beta");
    QSignalSpy quit(&window, &CWavelark::QuitRequested);
    ASSERT_EQ(Call(kRoot, QStringLiteral("Quit")).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(quit.count() > 0 || quit.wait(5000));
    EXPECT_TRUE(window.Playback().IsShutDown());
    EXPECT_TRUE(m_catalogue.RadioChannelList.records.empty());
}

TEST_F(MprisTest, RaiseOpensTheRadioWindowAsOpenDoes)
{
    CWavelark& window = Start("Beta");
    bool opened = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* station = qobject_cast<CStation*>(QApplication::activeModalWidget());
        if (!station)
            return;
        opened = window.OpenRadioWindow() == station;
        station->OnHide();
    });
    watcher.start(50);
    ASSERT_EQ(Call(kRoot, QStringLiteral("Raise")).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(WaitUntil([&] { return opened && !window.OpenRadioWindow(); }, 10000));
    // The playing channel went on through the opening and the Hide.
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
}

TEST_F(MprisTest, IcyTitlesReachToolTipAndMetadataDecodedCleanedAndClearedWhenStale)
{
    m_content.SetStream(1, m_content.IcyUrl());
    const struct
    {
        QByteArray sent;
        const char* shown; // UTF-8
    } cases[] = {
        // Not UTF-8: Windows-1252, whose quotes Latin-1 would turn into control characters.
        {"Caf\xe9 \x93Live\x94 \x80", "Caf\xc3\xa9 \xe2\x80\x9cLive\xe2\x80\x9d \xe2\x82\xac"},
        // UTF-8 with control characters and a line break.
        {"Na\xc3\xafve\x01\x7f Song\r\nTwo\x1b", "Na\xc3\xafve Song Two"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        m_content.SetIcyTitle(c.sent);
        CWavelark& window = Start("Alpha");
        const QString shown = QString::fromUtf8(c.shown);
        ASSERT_NE(window.ToolTip(), nullptr);
        EXPECT_TRUE(WaitUntil([&] { return window.Playback().StreamTitle() == shown; }, 8000))
            << window.Playback().StreamTitle().toStdString();
        EXPECT_EQ(window.Tray()->Icon().toolTip(), QStringLiteral("Wavelark\nAlpha\n") + shown);
        EXPECT_EQ(Metadata().value(QStringLiteral("xesam:title")).toString(), shown);
        EXPECT_EQ(Metadata().value(QStringLiteral("xesam:album")).toString(),
                  QStringLiteral("Alpha"));

        // Another channel: the old title goes at once, and the new stream sends none.
        window.PlayChannel("Beta", PlayMode::ByName);
        ASSERT_TRUE(Settled());
        EXPECT_EQ(window.Tray()->Icon().toolTip(), QStringLiteral("Wavelark\nBeta"));
        EXPECT_EQ(Metadata().value(QStringLiteral("xesam:title")).toString(),
                  QStringLiteral("Beta"));
        // Back to the titled one, then stopped: the title goes with the stream.
        window.PlayChannel("Alpha", PlayMode::ByName);
        EXPECT_TRUE(WaitUntil([&] { return window.Playback().StreamTitle() == shown; }, 8000));
        // The served tone ends after a few seconds; while it is fetched again the tip says so.
        EXPECT_TRUE(WaitUntil(
            [&] {
                return window.Tray()->Icon().toolTip() ==
                       QStringLiteral("Wavelark\nAlpha\nreconnecting");
            },
            8000))
            << window.Tray()->Icon().toolTip().toStdString();
        window.StopOrResume();
        EXPECT_EQ(window.Tray()->Icon().toolTip(), QStringLiteral("Wavelark\nAlpha\nstopped"));
        EXPECT_TRUE(window.Playback().StreamTitle().isEmpty());
        EXPECT_EQ(Metadata().value(QStringLiteral("xesam:title")).toString(),
                  QStringLiteral("Alpha"));
        m_window.reset();
    }
}

TEST_F(MprisTest, AHungStreamFileFreezesNothingAndLosesToANewerChoice)
{
    CWavelark& window = Start(QByteArray());
    ASSERT_EQ(window.Playback().IsPlaying(), 0);
    bool messageShown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&messageShown] {
        if (qobject_cast<CMessage*>(QApplication::activeModalWidget()))
            messageShown = true;
    });
    watch.start(20);

    m_content.Hold(1);
    window.PlayChannel("Alpha", PlayMode::ByName);
    ASSERT_TRUE(window.Playback().IsBusy());

    // The desktop bus is answered within a second while the server hangs.
    QDBusMessage get =
        QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
    get << kPlayer << QStringLiteral("PlaybackStatus");
    QDBusPendingCall status = Client().asyncCall(get, 1000);
    ASSERT_TRUE(WaitUntil([&] { return status.isFinished(); }, 3000));
    EXPECT_EQ(status.reply().type(), QDBusMessage::ReplyMessage)
        << status.reply().errorMessage().toStdString();

    // So is the tray icon: its menu opens (and is closed again).
    bool menuOpened = false;
    QTimer menuWatch;
    QObject::connect(&menuWatch, &QTimer::timeout, [&menuOpened] {
        if (QWidget* menu = QApplication::activePopupWidget()) {
            menuOpened = qobject_cast<QMenu*>(menu) != nullptr;
            menu->close();
        }
    });
    menuWatch.start(20);
    window.OnTrayClicked();
    menuWatch.stop();
    EXPECT_TRUE(menuOpened);

    // A newer choice plays while the first one still hangs ...
    window.PlayChannel("Beta", PlayMode::ByName);
    ASSERT_TRUE(WaitUntil([&] { return window.Playback().IsPlaying() == 1; }, 10000));
    EXPECT_EQ(window.Playback().SelectedChannelName(), "Beta");
    EXPECT_EQ(m_content.HeldAnswers(), 0);

    // ... and the hung answer, when it comes, plays nothing, writes nothing, shows nothing.
    m_content.Release();
    ASSERT_TRUE(WaitUntil([&] { return m_content.HeldAnswers() == 1; }, 5000));
    ASSERT_TRUE(Settled());
    QTest::qWait(200);
    EXPECT_EQ(window.Playback().SelectedChannelName(), "Beta");
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
    EXPECT_FALSE(messageShown);
    EXPECT_FALSE(m_folder.Exists(QStringLiteral("channel.dat")));
}

TEST_F(MprisTest, TwentyFiveNextCallsWithoutStreamFilesOpenOneMessageAndAreAllAnswered)
{
    CWavelark& window = Start("Beta");
    ASSERT_EQ(window.Playback().IsPlaying(), 1);
    m_content.SetStreamFilesDown(true);

    // As a held media key: a Next every 0.1 s, sent from a timer because the first failure's
    // message runs its own event loop.
    constexpr size_t kCalls = 25;
    std::vector<QDBusPendingCall> nexts;
    QTimer sender;
    QObject::connect(&sender, &QTimer::timeout, [&] {
        nexts.push_back(Client().asyncCall(
            QDBusMessage::createMethodCall(kService, kPath, kPlayer, QStringLiteral("Next")),
            5000));
        if (nexts.size() == kCalls)
            sender.stop();
    });
    const auto allAnswered = [&nexts] {
        return nexts.size() == kCalls &&
               std::all_of(nexts.begin(), nexts.end(),
                           [](const QDBusPendingCall& call) { return call.isFinished(); });
    };

    // Counts the open messages; once every call is answered, asks the bus for the status while
    // the message is still open, then closes it as the user would.
    int mostOpen = 0;
    std::optional<QDBusPendingCall> status;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        std::vector<CMessage*> open;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* message = qobject_cast<CMessage*>(widget); message && message->isVisible())
                open.push_back(message);
        }
        mostOpen = std::max(mostOpen, int(open.size()));
        if (open.empty() || !allAnswered())
            return;
        if (!status) {
            QDBusMessage get =
                QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
            get << kPlayer << QStringLiteral("PlaybackStatus");
            status = Client().asyncCall(get, 1000);
        } else if (status->isFinished()) {
            for (CMessage* message : open)
                message->accept();
        }
    });
    sender.start(100);
    watch.start(20);

    ASSERT_TRUE(
        WaitUntil([&] { return allAnswered() && status && !window.Playback().IsBusy(); }, 30000));
    EXPECT_EQ(mostOpen, 1);
    for (const QDBusPendingCall& next : nexts)
        EXPECT_EQ(next.reply().type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(status->isFinished());
    EXPECT_EQ(status->reply().type(), QDBusMessage::ReplyMessage);
    // The last choice failed: nothing plays, and the program goes on answering.
    EXPECT_EQ(window.Playback().IsPlaying(), 0);
    EXPECT_EQ(Get(kPlayer, QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
}

TEST_F(MprisTest, NextWithTheRadioWindowOpenMovesItsCountryListAndTreeSelection)
{
    CWavelark& window = Start("Beta");
    // This reading of the clock picks Delta, in France.
    window.SetClock([] { return ClockReading{0, 2}; });
    QString shownBefore;
    bool followed = false;
    OpenRadioWindowFromTheTray(
        window,
        [&](CStation& station) {
            const auto shown = [&station] {
                auto* countries = qobject_cast<QComboBox*>(FindControl(&station, kIdCountryList));
                const auto selected = station.ChannelTree()->selectedItems();
                return countries->currentText() + QLatin1Char('/') +
                       (selected.isEmpty() ? QString() : selected[0]->text(0));
            };
            shownBefore = shown();
            Client().asyncCall(
                QDBusMessage::createMethodCall(kService, kPath, kPlayer, QStringLiteral("Next")));
            followed = WaitUntil([&] { return shown() == QStringLiteral("France/Delta"); }, 5000);
            station.OnHide();
        },
        10000);

    EXPECT_EQ(shownBefore, QStringLiteral("Germany/Beta"));
    EXPECT_TRUE(followed);
    EXPECT_EQ(window.Playback().SelectedChannelName(), "Delta");
}

#include "mpris_test.moc"
