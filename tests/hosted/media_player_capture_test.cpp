#include "PlayerFixture.h"
#include "support/WavCapture.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <cmath>
#include <functional>

namespace {

// audiotestsrc's default amplitude 0.8 of full scale, as RMS of a sine.
constexpr double kFullToneRms = 0.8 * 32767 / 1.41421356;

class MediaPlayerCaptureTest : public PlayerFixture
{
protected:
    QString WavPath() const { return m_folder.FilePath(QStringLiteral("out.wav")); }

    // Plays `name` to its end into the fast capture file and returns what was captured.
    std::optional<WavCapture> PlayToEnd(MediaPlayer& player, const char* name)
    {
        QSignalSpy ended(&player, &MediaPlayer::EndOfStream);
        QSignalSpy errors(&player, &MediaPlayer::PlaybackError);
        if (!player.put_URL(Streams().Url(QLatin1String(name))))
            return std::nullopt;
        if (!WaitUntil([&] { return ended.count() > 0 || errors.count() > 0; }, 10000) ||
            errors.count() > 0)
            return std::nullopt;
        return WavCapture::Read(WavPath());
    }
};

TEST_F(MediaPlayerCaptureTest, VolumeAndMuteScaleTheAudioAndPersistAcrossStreams)
{
    auto player = MakePlayer(FastWavSink(WavPath()));
    ASSERT_TRUE(player);
    EXPECT_EQ(player->Volume(), 100);
    EXPECT_FALSE(player->Muted());

    // Each step changes something (or nothing) and plays a fresh stream; the level relative
    // to full volume is the cube of the slider position.
    struct Step
    {
        const char* name;
        std::function<bool(MediaPlayer&)> change;
        const char* stream;
        int volume;
        bool muted;
        double level;
    };
    const Step steps[] = {
        {"full volume", [](MediaPlayer&) { return true; }, "tone.ogg", 100, false, 1.0},
        {"slider at 25", [](MediaPlayer& p) { return p.put_volume(25); }, "tone.ogg", 25, false,
         0.25 * 0.25 * 0.25},
        {"kept for the next stream", [](MediaPlayer&) { return true; }, "tone.mp3", 25, false,
         0.25 * 0.25 * 0.25},
        {"slider at 60", [](MediaPlayer& p) { return p.put_volume(60); }, "tone.mp3", 60, false,
         0.6 * 0.6 * 0.6},
        {"muted", [](MediaPlayer& p) { return p.put_mute(true); }, "tone.ogg", 60, true, 0.0},
        {"mute kept for the next stream", [](MediaPlayer&) { return true; }, "tone.mp3", 60, true,
         0.0},
        {"unmuted keeps the volume", [](MediaPlayer& p) { return p.put_mute(false); }, "tone.ogg",
         60, false, 0.6 * 0.6 * 0.6},
        {"above the range clamps to 100", [](MediaPlayer& p) { return p.put_volume(250); },
         "tone.ogg", 100, false, 1.0},
        {"below the range clamps to 0", [](MediaPlayer& p) { return p.put_volume(-7); }, "tone.ogg",
         0, false, 0.0},
    };
    double fullRms = 0.0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        EXPECT_TRUE(step.change(*player));
        EXPECT_EQ(player->Volume(), step.volume);
        EXPECT_EQ(player->Muted(), step.muted);
        const std::optional<WavCapture> capture = PlayToEnd(*player, step.stream);
        ASSERT_TRUE(capture);
        EXPECT_TRUE(capture->headerComplete);
        EXPECT_NEAR(capture->Seconds(), TestStreams::kToneSeconds, 0.2);
        // Skip the encoder's fade-in at the start.
        const double rms = capture->Rms(0.2, TestStreams::kToneSeconds - 0.2);
        if (fullRms == 0.0) {
            fullRms = rms;
            EXPECT_NEAR(rms, kFullToneRms, kFullToneRms * 0.1);
            continue;
        }
        if (step.level == 0.0) {
            EXPECT_EQ(rms, 0.0);
        } else {
            EXPECT_NEAR(rms / fullRms, step.level, step.level * 0.15);
        }
    }
}

TEST_F(MediaPlayerCaptureTest, MuteActsWhilePlaying)
{
    auto player = MakePlayer(RealTimeWavSink(WavPath()));
    ASSERT_TRUE(player);
    QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
    QSignalSpy ended(player.get(), &MediaPlayer::EndOfStream);
    ASSERT_TRUE(player->put_URL(Streams().Url(QStringLiteral("tone.ogg"))));
    ASSERT_TRUE(WaitUntil([&] { return firstAudio.count() > 0; }, kStartTimeoutMs));
    Settle(300);
    EXPECT_TRUE(player->put_mute(true));
    ASSERT_TRUE(WaitUntil([&] { return ended.count() > 0; },
                          int(TestStreams::kToneSeconds * 1000) + kStartTimeoutMs));
    const std::optional<WavCapture> capture = WavCapture::Read(WavPath());
    ASSERT_TRUE(capture);
    EXPECT_GT(capture->Rms(0.2, 0.5), kFullToneRms * 0.8);
    EXPECT_EQ(capture->Rms(TestStreams::kToneSeconds - 0.4), 0.0);
}

// The capture must be a complete file when playback stops in the middle of a stream, both by
// close() and by destroying the player (the program's exit).
TEST_F(MediaPlayerCaptureTest, StoppingMidStreamFinishesTheCaptureFile)
{
    struct Case
    {
        const char* name;
        std::function<void(std::unique_ptr<MediaPlayer>&)> stop;
    };
    const Case cases[] = {
        {"close", [](std::unique_ptr<MediaPlayer>& p) { EXPECT_TRUE(p->close()); }},
        {"destroy", [](std::unique_ptr<MediaPlayer>& p) { p.reset(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(WavPath());
        auto player = MakePlayer(RealTimeWavSink(WavPath()));
        ASSERT_TRUE(player);
        QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
        QSignalSpy ended(player.get(), &MediaPlayer::EndOfStream);
        ASSERT_TRUE(player->put_URL(Streams().Url(QStringLiteral("tone.mp3"))));
        ASSERT_TRUE(WaitUntil([&] { return firstAudio.count() > 0; }, kStartTimeoutMs));
        Settle(200);

        QElapsedTimer stopping;
        stopping.start();
        c.stop(player);
        EXPECT_LT(stopping.elapsed(), 3000) << "stopping must not hang";

        const std::optional<WavCapture> capture = WavCapture::Read(WavPath());
        ASSERT_TRUE(capture);
        EXPECT_TRUE(capture->headerComplete);
        EXPECT_GT(capture->Seconds(), 0.1);
        EXPECT_LT(capture->Seconds(), TestStreams::kToneSeconds - 0.5) << "stopped mid-stream";
        EXPECT_GT(capture->Rms(), 0.0);

        // Nothing more reaches the sink after the stop.
        const qint64 size = QFileInfo(WavPath()).size();
        Settle(500);
        EXPECT_EQ(QFileInfo(WavPath()).size(), size);
        EXPECT_EQ(ended.count(), 0);
    }
}

} // namespace
