// The playback object while its stream is lost and found again: IsPlaying stays what the user
// chose, IsReconnecting tells the tray what happens, no message is shown, and Stop or Exit
// end the reconnecting at once.

#include "directory/ChannelListText.h"
#include "directory/ContentServer.h"
#include "hosted/MediaPlayer.h"
#include "radio/RadioPlayback.h"
#include "support/LocalHttpServer.h"
#include "support/RawStreamServer.h"
#include "support/TestStreams.h"
#include "support/Wait.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QByteArray kCatalogue = "2\r\n"
                              "Germany\r\nFirst\r\n11\r\nAlpha\r\n"
                              "Germany\r\nSecond\r\n12\r\nBeta\r\n";

class RadioPlaybackReconnectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tones.Start());
        QFile mp3(m_tones.FilePath(QStringLiteral("tone.mp3")));
        ASSERT_TRUE(mp3.open(QIODevice::ReadOnly));
        // One second of audio per connection, then the server hangs up.
        RawStreamServer::Script script;
        script.body = mp3.readAll();
        script.bytesPerSecond = 16000;
        script.byteLimit = 16000;
        m_stream.SetScript(script);
        ASSERT_TRUE(m_stream.Start());
        const std::string address = m_stream.Root() + "live\r\n";
        m_content.server().set_keep_alive_timeout(1);
        m_content.server().Get(R"(/Wavelark/freechannels/package0/\d+\.rd)",
                               [address](const httplib::Request&, httplib::Response& response) {
                                   response.set_content(address, "text/plain");
                               });
        ASSERT_TRUE(m_content.Start());
        m_server =
            std::make_unique<ContentServer>(QByteArray::fromStdString(m_content.Root()), "3.0");
        m_catalogue.RadioChannelList = ParseChannelListText(kCatalogue);
        ApplyAvailability(m_catalogue.RadioChannelList, "11");
        m_catalogue.PackageFolderAddress = m_server->Root() + "Wavelark/freechannels/package0";
        qputenv("WAVELARK_AUDIO_SINK", "fakesink sync=true");
        m_playback = std::make_unique<RadioPlayback>(
            m_catalogue, *m_server, [this](const QByteArray& text) { m_messages.push_back(text); });
        ASSERT_TRUE(m_playback->CreatePlayer());
        qunsetenv("WAVELARK_AUDIO_SINK");
    }

    TestStreams m_tones;
    RawStreamServer m_stream;
    LocalHttpServer m_content;
    std::unique_ptr<ContentServer> m_server;
    Catalogue m_catalogue;
    std::vector<QByteArray> m_messages;
    std::unique_ptr<RadioPlayback> m_playback;
};

TEST_F(RadioPlaybackReconnectTest, StaysPlayingWhileReconnectingAndStopEndsIt)
{
    QSignalSpy playing(m_playback.get(), &RadioPlayback::PlayingChanged);
    QSignalSpy reconnecting(m_playback.get(), &RadioPlayback::ReconnectingChanged);
    QSignalSpy firstAudio(m_playback->Player(), &MediaPlayer::FirstAudio);
    m_playback->PlayChannel("Alpha", PlayMode::ByName);
    ASSERT_TRUE(WaitUntil([&] { return !m_playback->IsBusy(); }, 20000));
    ASSERT_EQ(m_playback->IsPlaying(), 1);

    // Lost and found again without the user.
    ASSERT_TRUE(WaitUntil([&] { return firstAudio.count() >= 2; }, 10000));
    EXPECT_EQ(playing.count(), 1) << "IsPlaying changed while the stream came and went";
    EXPECT_EQ(m_playback->IsPlaying(), 1);
    ASSERT_GE(reconnecting.count(), 2);
    EXPECT_TRUE(reconnecting.at(0).at(0).toBool());
    EXPECT_FALSE(reconnecting.at(1).at(0).toBool());
    EXPECT_TRUE(m_messages.empty());

    // Stop in the middle of a reconnect ends it.
    ASSERT_TRUE(WaitUntil([&] { return m_playback->IsReconnecting(); }, 5000));
    m_playback->StopOrResume();
    EXPECT_EQ(m_playback->IsPlaying(), 0);
    EXPECT_FALSE(m_playback->IsReconnecting());
    const size_t connections = m_stream.Paths().size();
    QTest::qWait(2500);
    EXPECT_EQ(m_stream.Paths().size(), connections);
}

TEST_F(RadioPlaybackReconnectTest, ExitEndsTheReconnectAtOnce)
{
    QSignalSpy firstAudio(m_playback->Player(), &MediaPlayer::FirstAudio);
    m_playback->PlayChannel("Beta", PlayMode::ByName);
    ASSERT_TRUE(WaitUntil([&] { return m_playback->IsReconnecting(); }, 8000));
    m_playback->Shutdown();
    EXPECT_FALSE(m_playback->IsReconnecting());
    const size_t connections = m_stream.Paths().size();
    QTest::qWait(2500);
    EXPECT_EQ(m_stream.Paths().size(), connections);
}

} // namespace
