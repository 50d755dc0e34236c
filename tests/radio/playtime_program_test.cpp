// The hidden main window with a daily play time set in "setting.dat", on a clock the test
// moves: a start before the play time is silent and asks for no stream file; the play time
// starts the saved channel rising from silence and stops it at its end; a start inside plays
// at once; the user's Resume after a silent start plays the start channel.

#include "radio/FakeWallClock.h"
#include "radio/RadioFixture.h"
#include "radio/ScheduledPlay.h"
#include "radio/TrayToolTip.h"

#include <QSignalSpy>

namespace {

class PlaytimeProgramTest : public RadioTest
{
protected:
    // Local time, whatever the machine's zone: 11 December has no clock change anywhere.
    static QDateTime At(int hour, int minute, int second = 0, int day = 11)
    {
        return QDateTime(QDate(2026, 12, day), QTime(hour, minute, second), Qt::LocalTime);
    }

    CWavelark& StartAt(const QDateTime& now)
    {
        m_clock.Set(now);
        m_window = std::make_unique<CWavelark>(m_directory, m_skin, *m_server, m_archive,
                                               QByteArrayLiteral("3.0"));
        m_window->SetScreenSize(QSize(1024, 768));
        m_window->SetClock([] { return ClockReading{0, 0}; });
        m_window->SetWallClock(m_clock.Clock());
        m_window->OnInitDialog();
        EXPECT_TRUE(Settled());
        return *m_window;
    }

    // Moves the clock to `to` in 5-second looks, as the schedule's timer would look.
    void WalkTo(const QDateTime& to)
    {
        while (m_clock.Now() < to) {
            m_clock.Advance(5);
            m_window->Scheduled()->Playtime().Tick();
        }
        EXPECT_TRUE(Settled());
    }

    int PlayerVolume() { return m_window->Playback().Player()->Volume(); }

    FakeWallClock m_clock{At(0, 0)};
};

TEST_F(PlaytimeProgramTest, APlayTimeStartsTheChannelAtItsHourAndStopsItAtItsEnd)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nBeta");
    m_folder.Write(QStringLiteral("setting.dat"), "1\n0\n7\n0\n50"); // 07:00 for 1 hour
    CWavelark& window = StartAt(At(6, 59, 50));
    EXPECT_EQ(window.Playback().IsPlaying(), 0);
    EXPECT_EQ(m_content.Requests(StreamFile(2)), 0);
    ASSERT_NE(window.ToolTip(), nullptr);
    EXPECT_TRUE(window.ToolTip()->Text().endsWith(QStringLiteral("\nPlaytime 07:00\u201308:00")))
        << window.ToolTip()->Text().toStdString();

    WalkTo(At(6, 59, 55));
    EXPECT_EQ(m_content.Requests(StreamFile(2)), 0);
    WalkTo(At(7, 0));
    EXPECT_EQ(m_content.Requests(StreamFile(2)), 1);
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
    EXPECT_EQ(window.Playback().SelectedChannelName(), "Beta");
    // Rising from silence to the set volume over 30 s.
    EXPECT_EQ(PlayerVolume(), 0);
    m_clock.Advance(15);
    window.Scheduled()->FadeIn().Tick();
    EXPECT_EQ(PlayerVolume(), 25);
    m_clock.Advance(15);
    window.Scheduled()->FadeIn().Tick();
    EXPECT_EQ(PlayerVolume(), 50);
    EXPECT_EQ(window.Playback().Volume(), 50);

    WalkTo(At(7, 59, 55));
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
    WalkTo(At(8, 0));
    EXPECT_TRUE(window.Scheduled()->FadeOut().IsRunning());
    m_clock.Advance(30);
    window.Scheduled()->FadeOut().Tick();
    EXPECT_EQ(window.Playback().IsPlaying(), 0);
    EXPECT_EQ(PlayerVolume(), 50);
    // "setting.dat" keeps its five lines as they were.
    EXPECT_EQ(m_folder.Read(QStringLiteral("setting.dat")), "1\n0\n7\n0\n50");
}

TEST_F(PlaytimeProgramTest, AStartInsideThePlayTimePlaysAtOnce)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nBeta");
    m_folder.Write(QStringLiteral("setting.dat"), "1\n0\n7\n0\n40");
    CWavelark& window = StartAt(At(7, 30));
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
    EXPECT_EQ(window.Playback().SelectedChannelName(), "Beta");
    EXPECT_EQ(PlayerVolume(), 40);
}

TEST_F(PlaytimeProgramTest, NonStopTickedPlaysAsEverAndShowsNoPlayTime)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nBeta");
    m_folder.Write(QStringLiteral("setting.dat"), "1\n1\n7\n0\n50");
    CWavelark& window = StartAt(At(6, 0));
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
    EXPECT_FALSE(window.ToolTip()->Text().contains(QStringLiteral("Playtime")));
    WalkTo(At(8, 0, 30));
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
}

TEST_F(PlaytimeProgramTest, TheUserMayPlayBySilentStartAndTheNextBoundaryAppliesAgain)
{
    m_folder.Write(QStringLiteral("channel.dat"), "package0\nBeta");
    m_folder.Write(QStringLiteral("setting.dat"), "1\n0\n7\n0\n50");
    CWavelark& window = StartAt(At(6, 0));
    EXPECT_EQ(window.Playback().IsPlaying(), 0);
    // Resume after a silent start plays the start channel.
    window.RunTrayCommand(CWavelark::kCommandStopResume);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
    EXPECT_EQ(window.Playback().SelectedChannelName(), "Beta");
    // Playing already when the play time begins: it goes on at the user's volume.
    WalkTo(At(7, 0));
    EXPECT_EQ(PlayerVolume(), 50);
    // Stopped by hand inside the play time, it stays stopped until the next start: a suspend
    // past 08:00 and the next day's 07:00.
    window.RunTrayCommand(CWavelark::kCommandStopResume);
    EXPECT_EQ(window.Playback().IsPlaying(), 0);
    m_clock.Set(At(7, 0, 10, 12));
    window.Scheduled()->Playtime().Tick();
    EXPECT_TRUE(Settled());
    EXPECT_EQ(window.Playback().IsPlaying(), 1);
    // Woken 10 s into the play time: 10 s of the rise are gone.
    EXPECT_EQ(PlayerVolume(), 17);
}

} // namespace
