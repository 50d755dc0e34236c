#include "app/InterfaceArchive.h"
#include "directory/ContentServer.h"
#include "directory/HttpFetch.h"
#include "directory/fetch_test_support.h"
#include "hosted/MediaPlayer.h"
#include "radio/EvenLoudness.h"
#include "radio/RadioFixture.h"
#include "radio/TrayIcon.h"
#include "radio/Wavelark.h"
#include "support/LocalHttpServer.h"
#include "support/TempFolder.h"
#include "support/TestStreams.h"
#include "support/Wait.h"
#include "ui/ColorStatic.h"
#include "ui/MessageDialog.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QtEndian>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>

namespace {

using WavelarkTest = RadioTest;

const std::string kAvailabilityFile = "/Wavelark/freechannels/package0.rd";

// The content server offers nothing at all.
class NothingOfferedTest : public RadioTest
{
protected:
    NothingOfferedTest() : RadioTest(kCatalogue, "0000") {}
};

} // namespace

TEST_F(WavelarkTest, PlayRequestsBeforeTheAvailabilityAnswerWaitForItAndTheNewestWins)
{
    // Second 3 points at ((3 ^ 3) + 1234) % 4 = 2, Gamma, which the package does not offer;
    // before the answer every record of the list still looks offered.
    const struct
    {
        const char* label;
        std::function<void(CWavelark&)> requests;
        QByteArray plays;
    } cases[] = {
        {"the tray's Random Channel",
         [](CWavelark& window) { window.RunTrayCommand(CWavelark::kCommandRandom); }, "Beta"},
        {"a random pick, then a channel by name",
         [](CWavelark& window) {
             window.RunTrayCommand(CWavelark::kCommandRandom);
             window.PlayChannel("Delta", PlayMode::ByName);
         },
         "Delta"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        CatalogueServer content;
        QFile mp3(s_streams->FilePath(QStringLiteral("tone.mp3")));
        ASSERT_TRUE(mp3.open(QIODevice::ReadOnly));
        ASSERT_TRUE(content.Start(s_streams->Url(QStringLiteral("tone.ogg")), mp3.readAll()));
        m_server =
            std::make_unique<ContentServer>(QByteArray::fromStdString(content.Root()), "3.0");
        content.HoldAvailability();
        CWavelark& window = StartWithoutWaiting([] { return ClockReading{0, 3}; });
        ASSERT_TRUE(WaitUntil([&] { return content.Requests(kAvailabilityFile) == 1; }, 5000));
        c.requests(window);
        QCoreApplication::processEvents();
        content.Release();
        ASSERT_TRUE(Settled());
        EXPECT_EQ(window.Playback().SelectedChannelName(), c.plays);
        EXPECT_EQ(window.Playback().IsPlaying(), 1);
        EXPECT_EQ(content.Requests(StreamFile(3)), 0);
        m_window.reset();
    }
}

TEST_F(NothingOfferedTest, ARequestThatChoosesNothingLeavesTheFetchInFlightAlone)
{
    CWavelark& window = Start();
    m_content.Hold(1);
    // By name, as Resume and the saved channel do: chosen whether offered or not.
    window.PlayChannel("Alpha", PlayMode::ByName);
    ASSERT_TRUE(WaitUntil([&] { return m_content.Requests(StreamFile(1)) == 1; }, 5000));
    // Nothing is offered: the random pick chooses nothing, and so cancels nothing.
    window.RunTrayCommand(CWavelark::kCommandRandom);
    QCoreApplication::processEvents();
    m_content.Release();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window.Playback().SelectedChannelName(), "Alpha");
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
}

TEST_F(WavelarkTest, StartUpPlaysTheSavedChannelAtTheStoredVolume)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nBeta");
    m_folder.Write(QStringLiteral("setting.dat"), "1\n1\n0\n0\n30");
    CWavelark& window = Start();

    EXPECT_EQ(m_directory.Package().PackageFolderAddress,
              QByteArray::fromStdString(m_content.Root()) + "Wavelark/freechannels/package0");
    ASSERT_EQ(m_directory.Channels().records.size(), 4u);
    EXPECT_EQ(m_directory.Channels().records[2].available, 0);
    EXPECT_EQ(m_content.Requests(StreamFile(2)), 1);
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Beta");
    ASSERT_NE(window.Playback().Player(), nullptr);
    EXPECT_EQ(window.Playback().Player()->Volume(), 30);
    QSignalSpy firstAudio(window.Playback().Player(), &MediaPlayer::FirstAudio);
    EXPECT_TRUE(firstAudio.count() > 0 || firstAudio.wait(5000));
    // Starting does not rewrite the saved channel.
    EXPECT_EQ(m_folder.Read(QStringLiteral("channel.dat")), "package0\nBeta");
}

TEST_F(WavelarkTest, FirstStartWithoutFilesIsSilentAndWritesDefaultSettings)
{
    CWavelark& window = Start();
    EXPECT_EQ(window.Playback().IsPlaying(), 0);
    EXPECT_TRUE(m_window->Playback().SelectedChannelName().isEmpty());
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(m_content.Requests(StreamFile(n)), 0) << n;
    EXPECT_EQ(m_folder.Read(QStringLiteral("setting.dat")), "1\n1\n0\n0\n50");
    EXPECT_EQ(window.Playback().Player()->Volume(), 50);
    ASSERT_NE(window.Tray(), nullptr);
    EXPECT_EQ(window.Tray()->Icon().toolTip(), QStringLiteral("Wavelark"));
}

TEST_F(WavelarkTest, StartChannelFollowsThePackageComparison)
{
    const struct
    {
        const char* file;
        const char* selected;
    } cases[] = {
        {"package3\nBeta", "Delta"}, // saved under a later package: the clock picks
        {"package0\nGone", "Alpha"}, // a name no longer listed plays the first record
        {"package\nBeta", "Beta"},   // "package0" sorts after "package": restored
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        m_folder.Write(QStringLiteral("channel.dat"), c.file);
        // Minute 0, second 2: ((2 ^ 3) + 1234) % 4 = 3, Delta.
        CWavelark& window = Start([] { return ClockReading{0, 2}; });
        EXPECT_EQ(window.Playback().SelectedChannelName(), c.selected);
        EXPECT_EQ(window.Playback().IsPlaying(), 1);
        // Whatever the start chose, the saved channel stays as it was.
        EXPECT_EQ(m_folder.Read(QStringLiteral("channel.dat")), c.file);
        m_window.reset();
    }
}

TEST_F(WavelarkTest, StopOrResumeStopsThenFetchesAndPlaysTheSameChannelAgain)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nDelta");
    CWavelark& window = Start();
    ASSERT_EQ(window.Playback().IsPlaying(), 1);

    window.RunTrayCommand(CWavelark::kCommandStopResume);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window.Playback().IsPlaying(), 0);
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Delta");

    QSignalSpy firstAudio(window.Playback().Player(), &MediaPlayer::FirstAudio);
    window.RunTrayCommand(CWavelark::kCommandStopResume);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
    EXPECT_EQ(m_content.Requests(StreamFile(4)), 2);
    EXPECT_TRUE(firstAudio.wait(5000));
}

TEST_F(WavelarkTest, ToggleMuteFollowsThePlayer)
{
    CWavelark& window = Start();
    window.ToggleMute();
    EXPECT_EQ(window.Playback().IsMuted(), 1);
    EXPECT_TRUE(window.Playback().Player()->Muted());
    window.ToggleMute();
    EXPECT_EQ(window.Playback().IsMuted(), 0);
    EXPECT_FALSE(window.Playback().Player()->Muted());
}

TEST_F(WavelarkTest, RandomChannelFromTheTrayPlaysAnOfferedChannel)
{
    // Second 3 points at ((3 ^ 3) + 1234) % 4 = 2, Gamma, which is not offered; the next second
    // points at ((4 ^ 3) + 1234) % 4 = 1, Beta.
    CWavelark& window = Start([] { return ClockReading{0, 3}; });
    window.RunTrayCommand(CWavelark::kCommandRandom);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Beta");
    EXPECT_EQ(m_content.Requests(StreamFile(2)), 1);
    // The tray's pick does not become the saved channel.
    EXPECT_FALSE(m_folder.Exists(QStringLiteral("channel.dat")));
}

TEST_F(WavelarkTest, AnUnreachableChannelShowsTheMessageOnceAndKeepsRunning)
{
    m_content.SetStreamFilesDown(true);
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nAlpha");
    m_window = std::make_unique<CWavelark>(m_directory, m_skin, *m_server, m_archive);
    AnswerMessages();
    m_window->OnInitDialog();
    ASSERT_TRUE(Settled());
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "We are unable to access Channel Information at this time");
    EXPECT_EQ(m_window->Playback().IsPlaying(), 0);
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Alpha");
}

TEST_F(WavelarkTest, ExitReleasesTheListAndAsksToQuit)
{
    CWavelark& window = Start();
    QSignalSpy quit(&window, &CWavelark::QuitRequested);
    window.RunTrayCommand(CWavelark::kCommandExit);
    EXPECT_EQ(quit.count(), 1);
    EXPECT_TRUE(m_directory.Channels().records.empty());
    EXPECT_FALSE(window.Tray()->Icon().isVisible());
}

TEST_F(WavelarkTest, AMissingArchiveStartsWithAnEmptyListAndPlaysNothing)
{
    m_archive = LoadInterfaceArchive(m_folder.FilePath(QStringLiteral("Interface/none.int")));
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nBeta");
    CWavelark& window = Start();
    EXPECT_TRUE(m_directory.Channels().records.empty());
    EXPECT_EQ(window.Playback().IsPlaying(), 0);
    window.RunTrayCommand(CWavelark::kCommandRandom);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window.Playback().IsPlaying(), 0);
    EXPECT_TRUE(m_window->Playback().SelectedChannelName().isEmpty());
}

TEST_F(WavelarkTest, TrayAnimationCyclesThroughFiveFrames)
{
    CWavelark& window = Start();
    // The picture the notification area is given after each tick: five different ones, then
    // the first again.
    std::vector<QImage> shown;
    for (int tick = 0; tick < 7; ++tick) {
        window.AnimateTrayIcon();
        shown.push_back(window.Tray()->Icon().icon().pixmap(QSize(22, 22)).toImage());
        ASSERT_FALSE(shown.back().isNull());
    }
    for (int a = 0; a < 5; ++a)
        for (int b = a + 1; b < 5; ++b)
            EXPECT_NE(shown[a], shown[b]) << "frames " << a << " and " << b;
    EXPECT_EQ(shown[5], shown[0]);
    EXPECT_EQ(shown[6], shown[1]);
}

TEST_F(WavelarkTest, ClickingTheTrayIconOffersTheMenuAndRunsTheChosenCommand)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nBeta");
    CWavelark& window = Start();
    ASSERT_EQ(window.Playback().IsPlaying(), 1);

    QStringList shown;
    QTimer::singleShot(100, [&shown] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions())
            shown << (action->isSeparator() ? QStringLiteral("--") : action->text());
        // WAVELARK_RENDER_DIR=folder keeps pictures of the menu and its submenu to look at.
        if (const QString dir = qEnvironmentVariable("WAVELARK_RENDER_DIR"); !dir.isEmpty()) {
            menu->grab().save(dir + QStringLiteral("/tray-menu.png"));
            for (QAction* action : menu->actions()) {
                if (QMenu* sub = action->menu()) {
                    sub->adjustSize();
                    sub->grab().save(dir + QStringLiteral("/tray-menu-") + action->text() +
                                     QStringLiteral(".png"));
                }
            }
        }
        menu->setActiveAction(menu->actions().at(2)); // "Stop/Resume"
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTimer::singleShot(3000, [] {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    });
    Q_EMIT window.Tray()->Clicked();
    EXPECT_TRUE(WaitUntil([&] { return window.Playback().IsPlaying() == 0; }, 5000));

    EXPECT_EQ(shown, (QStringList{QStringLiteral("Open"), QStringLiteral("Random Channel"),
                                  QStringLiteral("Stop/Resume"), QStringLiteral("--"),
                                  QStringLiteral("Record"), QStringLiteral("--"),
                                  QStringLiteral("Sleep timer"), QStringLiteral("Recent titles"),
                                  QStringLiteral("--"), QStringLiteral("Title notifications"),
                                  QStringLiteral("Even loudness"), QStringLiteral("--"),
                                  QStringLiteral("About us"), QStringLiteral("Exit")}));
    EXPECT_EQ(window.Playback().IsPlaying(), 0);
}

// "Even loudness" is a check item, ticked by default; choosing it turns levelling off for the
// player and keeps that in "wavelark.ini".
TEST_F(WavelarkTest, EvenLoudnessIsACheckItemKeptInTheOptionsFile)
{
    CWavelark& window = Start();
    ASSERT_TRUE(window.Playback().Levelling());
    EXPECT_TRUE(window.Playback().Player()->EvenLoudness());

    QString text;
    bool checkable = false;
    bool checked = false;
    QTimer::singleShot(100, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        QAction* item = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->data().toInt() == CWavelark::kCommandEvenLoudness)
                item = action;
        }
        if (!item)
            return;
        text = item->text();
        checkable = item->isCheckable();
        checked = item->isChecked();
        // WAVELARK_RENDER_DIR=folder keeps a picture of the menu to look at.
        const QString renderDir = qEnvironmentVariable("WAVELARK_RENDER_DIR");
        if (!renderDir.isEmpty())
            menu->grab().save(renderDir + QStringLiteral("/tray-menu.png"));
        menu->setActiveAction(item);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTimer::singleShot(3000, [] {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    });
    Q_EMIT window.Tray()->Clicked();
    EXPECT_TRUE(WaitUntil([&] { return !window.Playback().Levelling()->IsOn(); }, 5000));

    EXPECT_EQ(text, QStringLiteral("Even loudness"));
    EXPECT_TRUE(checkable);
    EXPECT_TRUE(checked);
    EXPECT_FALSE(window.Playback().Player()->EvenLoudness());
    EXPECT_TRUE(m_folder.Read(QStringLiteral("wavelark.ini")).contains("EvenLoudness=false"));
    // And back on from the menu's command.
    window.RunTrayCommand(CWavelark::kCommandEvenLoudness);
    EXPECT_TRUE(window.Playback().Player()->EvenLoudness());
    EXPECT_TRUE(m_folder.Read(QStringLiteral("wavelark.ini")).contains("EvenLoudness=true"));
}

TEST_F(WavelarkTest, ClicksOnlyRaiseTheRadioWindowWhileItIsOpen)
{
    CWavelark& window = Start();
    QWidget radioWindow;
    radioWindow.show();
    window.SetOpenRadioWindow(&radioWindow);
    // No menu may open: a popup would block here until the guard timer closes it.
    bool menuOpened = false;
    QTimer::singleShot(200, [&menuOpened] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            menuOpened = true;
            popup->close();
        }
    });
    Q_EMIT window.Tray()->Clicked();
    Q_EMIT window.Tray()->DoubleClicked();
    // A menu would be up well within this bound, even on a loaded machine.
    EXPECT_FALSE(WaitUntil(
        [&menuOpened] { return menuOpened || QApplication::activePopupWidget() != nullptr; },
        2000));
    EXPECT_FALSE(menuOpened);
    window.SetOpenRadioWindow(nullptr);
}

TEST_F(WavelarkTest, ExitChosenWhileTheMessageIsOpenEndsCleanly)
{
    // The message runs its own loop; the tray's Exit may come in meanwhile and release the list.
    m_content.SetStreamFilesDown(true);
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nAlpha");
    m_window = std::make_unique<CWavelark>(m_directory, m_skin, *m_server, m_archive);
    QSignalSpy quit(m_window.get(), &CWavelark::QuitRequested);
    auto* timer = new QTimer(m_window.get());
    QObject::connect(timer, &QTimer::timeout, [this] {
        if (auto* message = qobject_cast<CMessage*>(QApplication::activeModalWidget())) {
            m_window->RunTrayCommand(CWavelark::kCommandExit);
            message->accept();
        }
    });
    timer->start(20);
    m_window->OnInitDialog();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(quit.count(), 1);
    EXPECT_EQ(m_window->Playback().IsPlaying(), 0);
    EXPECT_TRUE(m_directory.Channels().records.empty());
}

TEST_F(WavelarkTest, AChannelThatCannotBeFetchedStopsTheOldOneAndResumeRetriesIt)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nDelta");
    // Second 0 points at ((0 ^ 3) + 1234) % 4 = 1, Beta.
    CWavelark& window = Start([] { return ClockReading{0, 0}; });
    ASSERT_EQ(window.Playback().IsPlaying(), 1);
    AnswerMessages();

    m_content.SetStreamFilesDown(true);
    window.RunTrayCommand(CWavelark::kCommandRandom);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(m_messages.size(), 1u);
    // What played belonged to Delta: it stops, and the state says so.
    EXPECT_EQ(window.Playback().IsPlaying(), 0);
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Beta");
    EXPECT_FALSE(window.Playback().Player()->Muted());

    m_content.SetStreamFilesDown(false);
    window.RunTrayCommand(CWavelark::kCommandStopResume);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
    EXPECT_EQ(m_window->Playback().SelectedChannelName(), "Beta");
    EXPECT_EQ(m_content.Requests(StreamFile(2)), 2);
}

TEST_F(WavelarkTest, ExitWhileTheServerHasNotAnsweredAtStartUpDoesNotWaitForIt)
{
    // A server that takes the connection and never answers: the availability fetch would wait
    // for its whole bound.
    fetchtest::SilentServer silent;
    ASSERT_GT(silent.Port(), 0);
    const ContentServer server(fetchtest::Address(silent.Port(), "/"), "3.0");
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nBeta");
    m_window = std::make_unique<CWavelark>(m_directory, m_skin, server, m_archive);
    m_window->OnInitDialog();
    ASSERT_TRUE(WaitUntil([&] { return silent.Accepted() > 0; }, 5000));
    ASSERT_TRUE(m_window->Playback().IsBusy());

    QElapsedTimer clock;
    clock.start();
    m_window->Exit();
    m_window.reset();
    // Well inside the fetch's own bound: the way out cancels it instead of waiting.
    EXPECT_LT(clock.elapsed(), kEntryFetchSettings.attemptTimeoutMs / 2);
}
