// The wake-up chime: a play time whose channel cannot be heard chimes instead, rising from
// silence, into a capture file; it ends when a channel plays or the user stops. Also the chime's
// own sound: gentle (well below full scale), never silent for a whole cycle.

#include "hosted/ChimePlayer.h"
#include "radio/ScheduleFixture.h"
#include "radio/SettingsFile.h"
#include "support/TempFolder.h"
#include "support/WavCapture.h"

#include <QSignalSpy>
#include <QTest>
#include <QtEndian>
#include <cmath>

namespace {

SettingsValues SevenForOneHour()
{
    SettingsValues values;
    values.nonStop = 0;
    values.startHour = 7;
    values.hours = 0;
    return values;
}

class WakeChimeTest : public ScheduleFixture
{
protected:
    void SetUp() override
    {
        StartPlayback(QDateTime(QDate(2026, 12, 11), QTime(6, 59, 55), Qt::UTC));
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(m_playback->SetVolume(50));
        m_scheduled->Playtime().SetTimeZone(QTimeZone(0));
        m_scheduled->SetStartChannelPlay(
            [this] { m_playback->PlayChannel("Alpha", PlayMode::ByName); });
        m_scheduled->ApplySettings(SevenForOneHour(), false);
    }
    void TearDown() override
    {
        qunsetenv("WAVELARK_CHIME_SINK");
        ScheduleFixture::TearDown();
    }

    // Brings the clock to 07:00 and lets the play time start its channel.
    void ReachStartHour()
    {
        m_clock.Advance(5);
        m_scheduled->Playtime().Tick();
        ASSERT_TRUE(m_scheduled->Wake().IsWatching());
        ASSERT_TRUE(WaitUntil([this] { return !m_playback->IsBusy(); }, 20000));
    }

    TempFolder m_capture;
};

TEST_F(WakeChimeTest, AContentServerDownAtTheStartHourChimesInsteadUntilTheUserStops)
{
    const QString wav = m_capture.FilePath(QStringLiteral("chime.wav"));
    qputenv("WAVELARK_CHIME_SINK", RealTimeWavSink(wav));
    m_down = true;
    ReachStartHour();
    EXPECT_EQ(m_streamFileRequests.load(), 1);
    EXPECT_EQ(m_playback->IsPlaying(), 0);
    EXPECT_EQ(m_messages.size(), 1u);
    EXPECT_FALSE(m_scheduled->Wake().IsChiming());

    // Nothing heard for 30 s: the chime plays, rising from silence to the set volume.
    m_clock.Advance(30);
    m_scheduled->Wake().Tick();
    ASSERT_TRUE(m_scheduled->Wake().IsChiming());
    EXPECT_EQ(m_scheduled->Wake().Rise().Level(), 0);
    EXPECT_EQ(m_scheduled->ToolTipLine(),
              QStringLiteral("Wake-up chime: Alpha could not be played"));
    m_clock.Advance(30);
    m_scheduled->Wake().Rise().Tick();
    EXPECT_EQ(m_scheduled->Wake().Rise().Level(), 50);
    QTest::qWait(2500);

    EXPECT_TRUE(m_scheduled->StopWakeChime());
    EXPECT_FALSE(m_scheduled->Wake().IsChiming());
    EXPECT_EQ(m_scheduled->ToolTipLine(), QStringLiteral("Playtime 07:00\u201308:00"));
    const auto capture = WavCapture::Read(wav);
    ASSERT_TRUE(capture.has_value());
    EXPECT_TRUE(capture->headerComplete);
    ASSERT_GT(capture->Seconds(), 1.5);
    // The chime's notes at the set volume (a cubic 0.125 of the chime's own level).
    EXPECT_GT(capture->Rms(0.2, capture->Seconds()), 100.0);
}

TEST_F(WakeChimeTest, AChannelThatPlaysEndsTheChimeAndTheEndOfThePlayTimeEndsTheWatch)
{
    qputenv("WAVELARK_CHIME_SINK", "fakesink sync=true");
    m_down = true;
    ReachStartHour();
    m_clock.Advance(31);
    m_scheduled->Wake().Tick();
    ASSERT_TRUE(m_scheduled->Wake().IsChiming());

    // The server is back and the user picks a channel: once it is heard, the chime ends.
    m_down = false;
    PlayAlpha();
    EXPECT_TRUE(WaitUntil([this] { return !m_scheduled->Wake().IsChiming(); }, 15000));
    EXPECT_FALSE(m_scheduled->ToolTipLine().startsWith(QStringLiteral("Wake-up")));

    // A channel heard in time is no reason to chime; the end of the play time stops it.
    m_clock.Set(QDateTime(QDate(2026, 12, 11), QTime(8, 0), Qt::UTC));
    m_scheduled->Playtime().Tick();
    m_clock.Advance(30);
    m_scheduled->FadeOut().Tick();
    EXPECT_EQ(m_playback->IsPlaying(), 0);
    EXPECT_FALSE(m_scheduled->Wake().IsChiming());
}

TEST(ChimeSound, IsGentleAndNeverSilentForAWholeCycle)
{
    const QByteArray cycle = ChimePlayer::CycleSamples();
    ASSERT_EQ(cycle.size(), int(ChimePlayer::kCycleSeconds * ChimePlayer::kRate) * 2);
    int peak = 0;
    double sumSquares = 0;
    for (int i = 0; i < cycle.size() / 2; ++i) {
        const int sample = qFromLittleEndian<qint16>(cycle.constData() + i * 2);
        peak = std::max(peak, std::abs(sample));
        sumSquares += double(sample) * sample;
    }
    EXPECT_GT(std::sqrt(sumSquares / (cycle.size() / 2)), 300.0);
    EXPECT_LT(peak, 20000);
    // It starts from silence: no click at the loop point.
    EXPECT_LT(std::abs(qFromLittleEndian<qint16>(cycle.constData())), 50);
    EXPECT_LT(std::abs(qFromLittleEndian<qint16>(cycle.constData() + cycle.size() - 2)), 50);
}

} // namespace
