// Against the demo stack's real Icecast and content server: every stream format the demo
// carries plays with its own tone through the keeper (a playlist with a dead first entry
// included), and a stream whose Icecast goes away for ten seconds comes back by itself.

#include "hosted/MediaPlayer.h"
#include "radio/StreamKeeper.h"
#include "support/DemoStack.h"
#include "support/Wait.h"
#include "support/WavCapture.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <signal.h>

namespace {

const QByteArray kAgent = "Wavelark/3.0";

class StreamRecoveryTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_stack = std::make_unique<DemoStack>(); }
    static void TearDownTestSuite() { s_stack.reset(); }

    void SetUp() override
    {
        ASSERT_GT(s_stack->Port(), 0) << "no ready line: " << s_stack->Line().constData();
        m_icecast = s_stack->IcecastBase();
        ASSERT_FALSE(m_icecast.isEmpty()) << s_stack->Log().constData();
        m_content = "http://127.0.0.1:" + QByteArray::number(s_stack->Port());
    }

    static std::unique_ptr<MediaPlayer> MakePlayer(const QByteArray& sink)
    {
        qputenv("WAVELARK_AUDIO_SINK", sink);
        auto player = MediaPlayer::Create();
        qunsetenv("WAVELARK_AUDIO_SINK");
        return player;
    }

    static inline std::unique_ptr<DemoStack> s_stack;
    QByteArray m_icecast;
    QByteArray m_content;
};

TEST_F(StreamRecoveryTest, EveryFormatPlaysItsTone)
{
    struct Case
    {
        const char* format;
        QByteArray address;
        int frequency;
    };
    const std::vector<Case> cases = {
        {"MP3", m_icecast + "/tone470.mp3", 470},
        {"Ogg Vorbis", m_icecast + "/tone330.ogg", 330},
        {"Ogg Opus", m_icecast + "/tone1730.opus", 1730},
        {"AAC (ADTS)", m_icecast + "/tone1870.aac", 1870},
        {"HLS", m_content + "/hls/tone2010.m3u8", 2010},
        {"PLS with a dead first entry", m_content + "/playlists/tone890.pls", 890},
    };
    QTemporaryDir folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const QString wavPath =
            folder.filePath(QString::fromLatin1(c.format).left(3) + QStringLiteral(".wav"));
        auto player = MakePlayer(RealTimeWavSink(wavPath));
        ASSERT_NE(player, nullptr);
        StreamKeeper keeper(*player, kAgent);
        QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
        ASSERT_TRUE(keeper.Start(QString::fromLatin1(c.address), {}));
        ASSERT_TRUE(WaitUntil([&] { return !firstAudio.isEmpty(); }, 15000)) << "no audio";
        std::printf("[ figure ] %s: first audio %lld ms after the start\n", c.format,
                    firstAudio.last().at(0).toLongLong());
        QTest::qWait(1300);
        keeper.Stop();
        player->close();
        const std::optional<WavCapture> wav = WavCapture::Read(wavPath);
        ASSERT_TRUE(wav.has_value());
        EXPECT_GT(wav->Seconds(), 0.8);
        EXPECT_NEAR(wav->ToneFrequency(0.1), c.frequency, c.frequency * 0.03);
    }
}

TEST_F(StreamRecoveryTest, IcecastGoneForTenSecondsResumesByItself)
{
    auto player = MakePlayer("fakesink sync=true");
    ASSERT_NE(player, nullptr);
    StreamKeeper keeper(*player, kAgent);
    QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
    ASSERT_TRUE(keeper.Start(QString::fromLatin1(m_icecast + "/tone750.mp3"), {}));
    ASSERT_TRUE(WaitUntil([&] { return !firstAudio.isEmpty(); }, 10000));

    s_stack->Signal(SIGUSR2);
    ASSERT_TRUE(WaitUntil([&] { return s_stack->Log().contains("Icecast stopped"); }, 15000));
    ASSERT_TRUE(WaitUntil([&] { return keeper.IsReconnecting(); }, 10000));
    QTest::qWait(10000);
    EXPECT_TRUE(keeper.IsReconnecting());
    EXPECT_EQ(firstAudio.count(), 1);
    s_stack->Signal(SIGUSR2);
    ASSERT_TRUE(WaitUntil([&] { return s_stack->Log().contains("Icecast is back"); }, 20000));
    // Pauses 1, 2, 4, 8 s: the attempt after Icecast's return comes within 16 s at the latest.
    EXPECT_TRUE(WaitUntil([&] { return firstAudio.count() >= 2; }, 20000));
    EXPECT_FALSE(keeper.IsReconnecting());
    keeper.Stop();
    player->close();
}

} // namespace
