// The program as an MPRIS player on a private session bus started by the test: the real hidden
// main window with a real player on fakesink, a content server on 127.0.0.1, and a D-Bus client
// on its own connection that calls, reads and listens as a desktop panel would.

#include "radio/MprisFixture.h"
#include "ui/CoolSlider.h"

using namespace mprisfixture;

namespace {

// Every test of this program runs on the private bus, also the ones of the hidden main window
// in other files: nothing may reach the session bus of the person running the tests.
[[maybe_unused]] testing::Environment* const kSessionBus =
    testing::AddGlobalTestEnvironment(new SessionBusEnvironment);

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
    QSignalSpy firstAudio(window.Playback().Player(), &MediaPlayer::FirstAudio);
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
        EXPECT_EQ(window.Playback().Player()->Volume(), c.level);
        if (c.announced < 0) {
            EXPECT_TRUE(recorder.changes.empty());
            continue;
        }
        ASSERT_EQ(recorder.changes.size(), 1u);
        EXPECT_EQ(recorder.changes[0], (QVariantMap{{QStringLiteral("Volume"), c.announced}}));
    }
    EXPECT_EQ(m_folder.Read(QStringLiteral("setting.dat")), settings);
}

TEST_F(MprisTest, AVolumeFromTheBusOutlivesOpeningTheRadioWindow)
{
    CWavelark& window = Start("Beta"); // "setting.dat" holds 30
    ASSERT_EQ(window.Playback().Player()->Volume(), 30);
    ASSERT_TRUE(Set(kPlayer, QStringLiteral("Volume"), 0.72));
    ASSERT_TRUE(WaitUntil([&] { return window.Playback().Player()->Volume() == 72; }, 5000));

    // The window shows what the player holds; the file's volume reached the player at start.
    int shown = -1;
    OpenRadioWindowFromTheTray(window, [&](CStation& station) {
        shown = qobject_cast<CCoolSlider*>(FindControl(&station, kIdVolumeSlider))->value();
        station.reject();
    });
    EXPECT_EQ(shown, 72);
    EXPECT_EQ(window.Playback().Volume(), 72);
    EXPECT_EQ(window.Playback().Player()->Volume(), 72);
    EXPECT_EQ(Get(kPlayer, QStringLiteral("Volume")).toDouble(), 0.72);
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
    EXPECT_TRUE(m_directory.Channels().records.empty());
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
