// The sleep timer against a real player: the fade lowers the player's level only, the stop is
// the tray's stop, Resume plays at the user's volume, and a suspend past the deadline stops at
// once.

#include "radio/ScheduleFixture.h"

#include <QSignalSpy>

namespace {

using SleepTimerPlayback = ScheduleFixture;

TEST_F(SleepTimerPlayback, FadesToSilenceOverThirtySecondsThenStopsAndResumesAtTheUserVolume)
{
    StartPlayback(QDateTime(QDate(2026, 12, 11), QTime(22, 0), Qt::UTC));
    ASSERT_TRUE(m_playback->SetVolume(60));
    PlayAlpha();
    QSignalSpy line(m_scheduled.get(), &ScheduledPlay::ToolTipLineChanged);

    m_scheduled->Sleep().Choose(15);
    EXPECT_EQ(m_scheduled->ToolTipLine(), QStringLiteral("Sleep in 15 min"));
    // A channel change does not end the timer.
    m_playback->PlayChannel("Beta", PlayMode::ByName);
    ASSERT_TRUE(WaitUntil([this] { return !m_playback->IsBusy(); }, 20000));
    ASSERT_EQ(m_playback->IsPlaying(), 1);
    EXPECT_EQ(m_scheduled->Sleep().Minutes(), 15);

    m_clock.Advance(15 * 60);
    m_scheduled->Sleep().Tick();
    EXPECT_TRUE(m_scheduled->FadeOut().IsRunning());
    EXPECT_TRUE(m_scheduled->ToolTipLine().isEmpty());
    EXPECT_EQ(PlayerVolume(), 60);

    m_clock.Advance(15);
    m_scheduled->FadeOut().Tick();
    EXPECT_EQ(PlayerVolume(), 30);
    EXPECT_EQ(m_playback->IsPlaying(), 1);
    // The volume the user set is untouched.
    EXPECT_EQ(m_playback->Volume(), 60);

    m_clock.Advance(15);
    m_scheduled->FadeOut().Tick();
    EXPECT_EQ(m_playback->IsPlaying(), 0);
    EXPECT_EQ(m_playback->SelectedChannelName(), "Beta");
    EXPECT_EQ(m_playback->Volume(), 60);
    EXPECT_EQ(PlayerVolume(), 60);

    m_playback->StopOrResume();
    ASSERT_TRUE(WaitUntil([this] { return !m_playback->IsBusy(); }, 20000));
    EXPECT_EQ(m_playback->IsPlaying(), 1);
    EXPECT_EQ(PlayerVolume(), 60);
    QSignalSpy firstAudio(m_playback->Player(), &MediaPlayer::FirstAudio);
    EXPECT_TRUE(firstAudio.count() > 0 || firstAudio.wait(10000));
}

TEST_F(SleepTimerPlayback, AMachineWakingLongAfterTheTimeStopsAtOnce)
{
    StartPlayback(QDateTime(QDate(2026, 12, 11), QTime(22, 0), Qt::UTC));
    ASSERT_TRUE(m_playback->SetVolume(40));
    PlayAlpha();
    m_scheduled->Sleep().Choose(30);
    m_clock.Advance(3 * 3600);
    m_scheduled->Sleep().Tick();
    EXPECT_EQ(m_playback->IsPlaying(), 0);
    EXPECT_FALSE(m_scheduled->FadeOut().IsRunning());
    EXPECT_EQ(PlayerVolume(), 40);
}

TEST_F(SleepTimerPlayback, TheUsersStopDuringTheFadeGivesThePlayerItsVolumeBack)
{
    StartPlayback(QDateTime(QDate(2026, 12, 11), QTime(22, 0), Qt::UTC));
    ASSERT_TRUE(m_playback->SetVolume(50));
    PlayAlpha();
    m_scheduled->Sleep().Choose(15);
    m_clock.Advance(15 * 60 + 20);
    m_scheduled->Sleep().Tick();
    EXPECT_LT(PlayerVolume(), 50);
    m_playback->StopOrResume();
    EXPECT_EQ(m_playback->IsPlaying(), 0);
    EXPECT_FALSE(m_scheduled->FadeOut().IsRunning());
    EXPECT_EQ(PlayerVolume(), 50);
}

} // namespace
