// "Even loudness" through real GStreamer pipelines: live streams of tones 20 dB apart, played
// side by side into capture files, come out at one level with it on and keep their difference
// with it off; a stream starts at the gain it is given at once.

#include "hosted/GainController.h"
#include "hosted/GstHandles.h"
#include "hosted/MediaPlayer.h"
#include "support/TempFolder.h"
#include "support/ToneChannel.h"
#include "support/Wait.h"
#include "support/WavCapture.h"

#include <QSignalSpy>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

double Db(double rms)
{
    return 20.0 * std::log10(rms / 32768.0);
}

class LoudnessLevelling : public ::testing::Test
{
protected:
    static constexpr double kLoudDb = -10.0;
    static constexpr double kQuietDb = -30.0;

    static void SetUpTestSuite()
    {
        ASSERT_TRUE(gst_init_check(nullptr, nullptr, nullptr));
        s_folder = std::make_unique<QTemporaryDir>();
        s_loud = std::make_unique<ToneChannel>();
        s_quiet = std::make_unique<ToneChannel>();
        ASSERT_TRUE(s_loud->Start(s_folder->path(), kLoudDb, 440));
        ASSERT_TRUE(s_quiet->Start(s_folder->path(), kQuietDb, 660));
    }
    static void TearDownTestSuite()
    {
        s_loud.reset();
        s_quiet.reset();
        s_folder.reset();
    }

    // A player writing what it plays, paced in real time, into `name` in the test's folder.
    struct Listener
    {
        QString wav;
        std::unique_ptr<MediaPlayer> player;
        std::unique_ptr<QSignalSpy> gains;

        double SecondsHeard() const
        {
            const std::optional<WavCapture> capture = WavCapture::Read(wav);
            return capture ? capture->Seconds() : 0.0;
        }
        // The level in dBFS of what was captured between the two moments.
        double LevelDb(double from, double to) const
        {
            const std::optional<WavCapture> capture = WavCapture::Read(wav);
            return capture ? Db(capture->Rms(from, to)) : -INFINITY;
        }
    };

    Listener Listen(const char* name, bool even)
    {
        Listener listener;
        listener.wav = m_folder.FilePath(QLatin1String(name));
        qputenv("WAVELARK_AUDIO_SINK", RealTimeWavSink(listener.wav));
        listener.player = MediaPlayer::Create();
        qunsetenv("WAVELARK_AUDIO_SINK");
        EXPECT_TRUE(listener.player);
        if (listener.player) {
            EXPECT_TRUE(listener.player->SetEvenLoudness(even));
            EXPECT_EQ(listener.player->EvenLoudness(), even);
            listener.gains = std::make_unique<QSignalSpy>(listener.player.get(),
                                                          &MediaPlayer::LoudnessGainChanged);
        }
        return listener;
    }

    static inline std::unique_ptr<QTemporaryDir> s_folder;
    static inline std::unique_ptr<ToneChannel> s_loud;
    static inline std::unique_ptr<ToneChannel> s_quiet;
    TempFolder m_folder;
};

// Four listeners at once, so that the real rate of change is kept and the test still takes
// only one stretch of listening.
TEST_F(LoudnessLevelling, ChannelsTwentyDecibelsApartEndWithinTwoWithItOnAndStayApartWithItOff)
{
    constexpr double kListenSeconds = 15.0;
    Listener evenLoud = Listen("even-loud.wav", true);
    Listener evenQuiet = Listen("even-quiet.wav", true);
    Listener plainLoud = Listen("plain-loud.wav", false);
    Listener plainQuiet = Listen("plain-quiet.wav", false);
    std::vector<Listener*> all = {&evenLoud, &evenQuiet, &plainLoud, &plainQuiet};
    for (Listener* listener : all)
        ASSERT_TRUE(listener->player);
    ASSERT_TRUE(evenLoud.player->put_URL(s_loud->Url()));
    ASSERT_TRUE(evenQuiet.player->put_URL(s_quiet->Url()));
    ASSERT_TRUE(plainLoud.player->put_URL(s_loud->Url()));
    ASSERT_TRUE(plainQuiet.player->put_URL(s_quiet->Url()));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return std::all_of(all.begin(), all.end(), [&](const Listener* listener) {
                return listener->SecondsHeard() >= kListenSeconds;
            });
        },
        int(kListenSeconds * 1000) + 25000));

    const double end = kListenSeconds;
    const double start = 1.0;
    // At first both levelled channels sound as they were sent: the gain starts at 0 dB and
    // moves at most 1 dB a second.
    EXPECT_NEAR(evenLoud.LevelDb(0.2, start), kLoudDb, 1.5);
    EXPECT_NEAR(evenQuiet.LevelDb(0.2, start), kQuietDb, 1.5);
    const double loud = evenLoud.LevelDb(end - 1.0, end);
    const double quiet = evenQuiet.LevelDb(end - 1.0, end);
    EXPECT_NEAR(loud, quiet, 2.0);
    EXPECT_NEAR(loud, GainController::kTargetDb, 2.0);
    EXPECT_NEAR(quiet, GainController::kTargetDb, 2.0);
    // Without levelling nothing changes: the 20 dB stay.
    EXPECT_NEAR(plainLoud.LevelDb(end - 1.0, end) - plainQuiet.LevelDb(end - 1.0, end), 20.0, 1.0);
    EXPECT_NEAR(plainLoud.LevelDb(end - 1.0, end), kLoudDb, 1.0);

    // The gains learned are reported, and none while levelling is off.
    ASSERT_FALSE(evenLoud.gains->isEmpty());
    ASSERT_FALSE(evenQuiet.gains->isEmpty());
    EXPECT_NEAR(evenLoud.gains->last().at(0).toDouble(), -10.0, 1.5);
    EXPECT_NEAR(evenQuiet.gains->last().at(0).toDouble(), 10.0, 1.5);
    EXPECT_NEAR(evenLoud.player->LoudnessGain(), -10.0, 1.5);
    EXPECT_TRUE(plainLoud.gains->isEmpty());
    EXPECT_EQ(plainLoud.player->LoudnessGain(), 0.0);
    // The gain never moved faster than the rate allows: each report lies within reach of the
    // previous one at 1 dB a second (reports come at most ten a second, 0.1 dB apart or more).
    for (const QSignalSpy* gains : {evenLoud.gains.get(), evenQuiet.gains.get()}) {
        double previous = 0.0;
        for (const QList<QVariant>& report : *gains) {
            EXPECT_LE(std::abs(report.at(0).toDouble() - previous), 0.6);
            previous = report.at(0).toDouble();
        }
    }
}

// A stream given a learned gain sounds at its level from the first audio; a later put_URL of
// the same player (a reconnect) keeps the gain reached; switching levelling off while playing
// restarts the stream with no filter at all.
TEST_F(LoudnessLevelling, StartsAtTheGivenGainAndOffTakesTheFilterOut)
{
    Listener listener = Listen("start.wav", true);
    ASSERT_TRUE(listener.player);
    QSignalSpy firstAudio(listener.player.get(), &MediaPlayer::FirstAudio);
    listener.player->SetNextLoudnessGain(10.0);
    ASSERT_TRUE(listener.player->put_URL(s_quiet->Url()));
    ASSERT_TRUE(WaitUntil([&] { return listener.SecondsHeard() >= 1.5; }, 15000));
    EXPECT_NEAR(listener.LevelDb(0.1, 1.5), GainController::kTargetDb, 1.0);
    EXPECT_NEAR(listener.player->LoudnessGain(), 10.0, 1.0);

    // The same channel again without a new start gain: no reset to 0 dB.
    firstAudio.clear();
    ASSERT_TRUE(listener.player->put_URL(s_quiet->Url()));
    ASSERT_TRUE(WaitUntil([&] { return !firstAudio.isEmpty(); }, 15000));
    ASSERT_TRUE(WaitUntil([&] { return listener.SecondsHeard() >= 1.0; }, 15000));
    EXPECT_NEAR(listener.LevelDb(0.1, 1.0), GainController::kTargetDb, 1.0);

    // Off while playing: the stream comes back as it was sent, at once.
    firstAudio.clear();
    ASSERT_TRUE(listener.player->SetEvenLoudness(false));
    EXPECT_FALSE(listener.player->EvenLoudness());
    ASSERT_TRUE(WaitUntil([&] { return !firstAudio.isEmpty(); }, 15000));
    ASSERT_TRUE(WaitUntil([&] { return listener.SecondsHeard() >= 1.0; }, 15000));
    EXPECT_NEAR(listener.LevelDb(0.1, 1.0), kQuietDb, 1.0);
    EXPECT_EQ(listener.player->LoudnessGain(), 0.0);

    // On again: back at the gain it had.
    firstAudio.clear();
    ASSERT_TRUE(listener.player->SetEvenLoudness(true));
    ASSERT_TRUE(WaitUntil([&] { return !firstAudio.isEmpty(); }, 15000));
    ASSERT_TRUE(WaitUntil([&] { return listener.SecondsHeard() >= 1.0; }, 15000));
    EXPECT_NEAR(listener.LevelDb(0.1, 1.0), GainController::kTargetDb, 1.0);
}

} // namespace
