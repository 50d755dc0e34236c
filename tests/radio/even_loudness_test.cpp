// "Even loudness" in the program: the gain learned for a channel while it plays brings it back
// at its level at once, from memory and, in the next run, from "loudness.dat"; the option is
// kept in "wavelark.ini", and off the channels sound as they were sent.

#include "directory/ChannelDirectory.h"
#include "directory/ChannelListText.h"
#include "directory/ContentServer.h"
#include "hosted/GainController.h"
#include "hosted/MediaPlayer.h"
#include "radio/EvenLoudness.h"
#include "radio/Options.h"
#include "radio/RadioPlayback.h"
#include "radio/TestDirectory.h"
#include "support/LocalHttpServer.h"
#include "support/TempFolder.h"
#include "support/ToneChannel.h"
#include "support/Wait.h"
#include "support/WavCapture.h"

#include <QSignalSpy>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QByteArray kCatalogue = "2\r\n"
                              "Germany\r\nLoud\r\n11\r\nAlpha\r\n"
                              "Germany\r\nQuiet\r\n12\r\nBeta\r\n";

constexpr double kLoudDb = -10.0;
constexpr double kQuietDb = -30.0;

class EvenLoudnessTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_tones = std::make_unique<QTemporaryDir>();
        s_loud = std::make_unique<ToneChannel>();
        s_quiet = std::make_unique<ToneChannel>();
        ASSERT_TRUE(s_loud->Start(s_tones->path(), kLoudDb, 440));
        ASSERT_TRUE(s_quiet->Start(s_tones->path(), kQuietDb, 660));
    }
    static void TearDownTestSuite()
    {
        s_loud.reset();
        s_quiet.reset();
        s_tones.reset();
    }

    void SetUp() override
    {
        const std::string loud = s_loud->Url().toStdString() + "\r\n";
        const std::string quiet = s_quiet->Url().toStdString() + "\r\n";
        m_content.server().set_keep_alive_timeout(1);
        m_content.server().Get(
            R"(/Wavelark/freechannels/package0/(\d+)\.rd)",
            [loud, quiet](const httplib::Request& request, httplib::Response& response) {
                response.set_content(request.matches[1] == "1" ? loud : quiet, "text/plain");
            });
        ASSERT_TRUE(m_content.Start());
        m_server =
            std::make_unique<ContentServer>(QByteArray::fromStdString(m_content.Root()), "3.0");
        LoadTestCatalogue(m_directory, *m_server, kCatalogue, "11");
    }
    void TearDown() override { m_playback.reset(); }

    // A program run's playback (reading both files of the working folder), its audio captured.
    void StartRun()
    {
        m_playback.reset();
        qputenv("WAVELARK_AUDIO_SINK", RealTimeWavSink(Wav()));
        m_playback = std::make_unique<RadioPlayback>(m_directory, *m_server, nullptr);
        ASSERT_TRUE(m_playback->CreatePlayer());
        qunsetenv("WAVELARK_AUDIO_SINK");
        ASSERT_TRUE(m_playback->Levelling());
    }

    // Plays `name` and returns the level of its first second, as captured.
    double FirstSecondDb(const char* name)
    {
        QSignalSpy firstAudio(m_playback->Player(), &MediaPlayer::FirstAudio);
        m_playback->PlayChannel(name, PlayMode::ByName);
        EXPECT_TRUE(WaitUntil([&] { return !firstAudio.isEmpty(); }, 20000)) << name;
        EXPECT_TRUE(WaitUntil([&] { return Heard() >= 1.2; }, 20000)) << name;
        return LevelDb(0.1, 1.1);
    }

    QString Wav() const { return m_folder.FilePath(QStringLiteral("out.wav")); }
    double Heard() const
    {
        const std::optional<WavCapture> capture = WavCapture::Read(Wav());
        return capture ? capture->Seconds() : 0.0;
    }
    double LevelDb(double from, double to) const
    {
        const std::optional<WavCapture> capture = WavCapture::Read(Wav());
        return capture ? 20.0 * std::log10(capture->Rms(from, to) / 32768.0) : -INFINITY;
    }

    static inline std::unique_ptr<QTemporaryDir> s_tones;
    static inline std::unique_ptr<ToneChannel> s_loud;
    static inline std::unique_ptr<ToneChannel> s_quiet;
    TempFolder m_folder;
    LocalHttpServer m_content;
    std::unique_ptr<ContentServer> m_server;
    ChannelDirectory m_directory;
    std::unique_ptr<RadioPlayback> m_playback;
};

TEST_F(EvenLoudnessTest, AChannelComesBackAtTheLevelLearnedForIt)
{
    StartRun();
    EXPECT_TRUE(m_playback->Levelling()->IsOn()) << "on by default";

    // A channel never heard starts as it is sent, and is brought down while it plays.
    EXPECT_NEAR(FirstSecondDb("Alpha"), kLoudDb, 1.5);
    const LoudnessMemory& memory = m_playback->Levelling()->Memory();
    ASSERT_TRUE(WaitUntil(
        [&] { return memory.Gain(QStringLiteral("Alpha")).value_or(0.0) <= -9.0; }, 30000));
    const double heard = Heard();
    EXPECT_NEAR(LevelDb(heard - 1.0, heard), GainController::kTargetDb, 2.0);

    // Another channel, never heard: as sent. Then back: at its level from the first second.
    EXPECT_NEAR(FirstSecondDb("Beta"), kQuietDb, 1.5);
    EXPECT_NEAR(FirstSecondDb("Alpha"), GainController::kTargetDb, 2.0);

    // Stopping writes what was learned; the next run starts the channel at its level at once.
    m_playback->StopOrResume();
    EXPECT_EQ(m_playback->IsPlaying(), 0);
    const LoudnessMemory stored = LoudnessMemory::Read();
    EXPECT_LE(stored.Gain(QStringLiteral("Alpha")).value_or(0.0), -9.0);
    // Beta was heard for a moment: on its way up from 0 dB.
    EXPECT_GT(stored.Gain(QStringLiteral("Beta")).value_or(0.0), 0.0);
    StartRun();
    EXPECT_NEAR(FirstSecondDb("Alpha"), GainController::kTargetDb, 2.0);

    // Off: kept for the next run, and the channel sounds as it is sent, now and then.
    m_playback->Levelling()->SetOn(false);
    EXPECT_FALSE(Options::EvenLoudness());
    EXPECT_NEAR(FirstSecondDb("Beta"), kQuietDb, 1.5);
    StartRun();
    EXPECT_FALSE(m_playback->Levelling()->IsOn());
    EXPECT_FALSE(m_playback->Player()->EvenLoudness());
    EXPECT_NEAR(FirstSecondDb("Alpha"), kLoudDb, 1.5);
}

} // namespace
