// The playback object on its own, against a live stream and a content server:
// - play requests that overtake each other while a failed fetch's message is open: the message
//   runs its own event loop, so a media key held down or a script on the desktop bus reaches the
//   playback object again before the first request has finished;
// - a stream that is lost and found again: IsPlaying stays what the user chose, IsReconnecting
//   tells the tray what happens, no message is shown, and Stop or Exit end the reconnecting at
//   once.

#include "directory/ChannelDirectory.h"
#include "directory/ChannelListText.h"
#include "directory/ContentServer.h"
#include "hosted/MediaPlayer.h"
#include "radio/ManualReconnectTimer.h"
#include "radio/RadioPlayback.h"
#include "radio/ReconnectPolicy.h"
#include "radio/TestDirectory.h"
#include "support/LocalHttpServer.h"
#include "support/RawStreamServer.h"
#include "support/TestStreams.h"
#include "support/Wait.h"

#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

const QByteArray kCatalogue = "3\r\n"
                              "Germany\r\nFirst\r\n11\r\nAlpha\r\n"
                              "Germany\r\nSecond\r\n12\r\nBeta\r\n"
                              "France\r\nThird\r\n13\r\nGamma\r\n";

// The playback with a real player on fakesink; every channel's stream file names one live
// stream of the test tone at 16 kB/s.
class LiveStreamPlayback : public ::testing::Test
{
protected:
    // `byteLimit`: the server hangs up after that many bytes of each connection (-1: never).
    // `alphaIsAPage`: Alpha's stream file is a web page served in its place.
    void StartPlayback(qint64 byteLimit, bool alphaIsAPage,
                       std::function<void(const QByteArray&)> showMessage)
    {
        ASSERT_TRUE(m_tones.Start());
        QFile mp3(m_tones.FilePath(QStringLiteral("tone.mp3")));
        ASSERT_TRUE(mp3.open(QIODevice::ReadOnly));
        RawStreamServer::Script script;
        script.body = mp3.readAll();
        script.bytesPerSecond = 16000;
        script.byteLimit = byteLimit;
        m_stream.SetScript(script);
        ASSERT_TRUE(m_stream.Start());
        const std::string address = m_stream.Root() + "live\r\n";
        m_content.server().set_keep_alive_timeout(1);
        m_content.server().Get(
            R"(/Wavelark/freechannels/package0/(\d+)\.rd)",
            [address, alphaIsAPage](const httplib::Request& request, httplib::Response& response) {
                if (alphaIsAPage && request.matches[1] == "1")
                    response.set_content("<!DOCTYPE html><html></html>", "text/html");
                else
                    response.set_content(address, "text/plain");
            });
        ASSERT_TRUE(m_content.Start());
        m_server =
            std::make_unique<ContentServer>(QByteArray::fromStdString(m_content.Root()), "3.0");
        LoadTestCatalogue(m_directory, *m_server, kCatalogue, "111");
        qputenv("WAVELARK_AUDIO_SINK", "fakesink sync=true");
        m_playback =
            std::make_unique<RadioPlayback>(m_directory, *m_server, std::move(showMessage));
        ASSERT_TRUE(m_playback->CreatePlayer());
        qunsetenv("WAVELARK_AUDIO_SINK");
    }

    // Runs the event loop until no request waits for the server or for its message.
    bool Settled() const
    {
        return WaitUntil([this] { return !m_playback->IsBusy(); }, 20000);
    }

    TestStreams m_tones;
    RawStreamServer m_stream;
    LocalHttpServer m_content;
    std::unique_ptr<ContentServer> m_server;
    ChannelDirectory m_directory;
    std::vector<QByteArray> m_messages;
    std::unique_ptr<RadioPlayback> m_playback;
};

// Alpha's stream file is a web page; its message stays open, like the modal message dialog,
// in an event loop of its own for 600 ms.
class RadioPlaybackRequestsTest : public LiveStreamPlayback
{
protected:
    void SetUp() override
    {
        StartPlayback(-1, true, [this](const QByteArray& text) {
            m_messages.push_back(text);
            ++m_openMessages;
            m_mostOpenMessages = std::max(m_mostOpenMessages, m_openMessages);
            if (m_whileMessageOpen) {
                const auto action = std::exchange(m_whileMessageOpen, {});
                QTimer::singleShot(0, action);
            }
            QEventLoop loop;
            QTimer::singleShot(600, &loop, &QEventLoop::quit);
            loop.exec();
            --m_openMessages;
        });
    }

    int m_openMessages = 0;
    int m_mostOpenMessages = 0;
    // Run once, from the event loop of the first message that opens.
    std::function<void()> m_whileMessageOpen;
};

// One second of audio per connection, then the server hangs up.
class RadioPlaybackReconnectTest : public LiveStreamPlayback
{
protected:
    void SetUp() override
    {
        StartPlayback(16000, false, [this](const QByteArray& text) { m_messages.push_back(text); });
    }
};

TEST_F(RadioPlaybackRequestsTest, FailuresWhileAMessageIsOpenDoNotStackMessages)
{
    m_whileMessageOpen = [this] {
        for (int i = 0; i < 25; ++i)
            m_playback->PlayChannel("Alpha", PlayMode::ByName);
    };
    m_playback->PlayChannel("Alpha", PlayMode::ByName);
    ASSERT_TRUE(Settled());

    EXPECT_EQ(m_mostOpenMessages, 1);
    EXPECT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_openMessages, 0);
    EXPECT_EQ(m_playback->IsPlaying(), 0);

    // The next failure, once no message is open, is shown again.
    m_playback->PlayChannel("Alpha", PlayMode::ByName);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(m_messages.size(), 2u);
}

TEST_F(RadioPlaybackRequestsTest, ANewerChoiceWinsOverAnOlderFailureStillShowingItsMessage)
{
    m_whileMessageOpen = [this] { m_playback->PlayChannel("Beta", PlayMode::ByName); };
    m_playback->PlayChannel("Alpha", PlayMode::ByName);
    ASSERT_TRUE(Settled());

    // The failed Alpha request ends last; Beta, chosen after it, keeps playing.
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_playback->IsPlaying(), 1);
    EXPECT_EQ(m_playback->SelectedChannelName(), "Beta");
    ASSERT_TRUE(WaitUntil([&] { return !m_stream.Paths().empty(); }, 5000));
}

TEST_F(RadioPlaybackRequestsTest, AStopWhileAMessageIsOpenIsNotUndone)
{
    m_playback->PlayChannel("Gamma", PlayMode::ByName);
    ASSERT_TRUE(Settled());
    ASSERT_EQ(m_playback->IsPlaying(), 1);
    m_whileMessageOpen = [this] {
        // Beta plays, then the user stops it; the older failure must not touch either.
        m_playback->PlayChannel("Beta", PlayMode::ByName);
        WaitUntil([this] { return m_playback->SelectedChannelName() == "Beta"; }, 5000);
        m_playback->StopOrResume();
    };
    m_playback->PlayChannel("Alpha", PlayMode::ByName);
    ASSERT_TRUE(Settled());

    EXPECT_EQ(m_playback->IsPlaying(), 0);
    EXPECT_EQ(m_playback->SelectedChannelName(), "Beta");
}

TEST_F(RadioPlaybackReconnectTest, StaysPlayingWhileReconnectingAndStopEndsIt)
{
    QSignalSpy playing(m_playback.get(), &RadioPlayback::PlayingChanged);
    QSignalSpy reconnecting(m_playback.get(), &RadioPlayback::ReconnectingChanged);
    QSignalSpy firstAudio(m_playback->Player(), &MediaPlayer::FirstAudio);
    m_playback->PlayChannel("Alpha", PlayMode::ByName);
    ASSERT_TRUE(Settled());
    ASSERT_EQ(m_playback->IsPlaying(), 1);

    // Lost and found again without the user.
    ASSERT_TRUE(WaitUntil([&] { return firstAudio.count() >= 2; }, 10000));
    EXPECT_EQ(playing.count(), 1) << "IsPlaying changed while the stream came and went";
    EXPECT_EQ(m_playback->IsPlaying(), 1);
    ASSERT_GE(reconnecting.count(), 2);
    EXPECT_TRUE(reconnecting.at(0).at(0).toBool());
    EXPECT_FALSE(reconnecting.at(1).at(0).toBool());
    EXPECT_TRUE(m_messages.empty());

    // Stop in the middle of a reconnect ends it: from here the pauses run on the test's clock.
    auto owned = std::make_unique<ManualReconnectTimer>();
    ManualReconnectTimer& pause = *owned;
    m_playback->SetReconnectTimer(std::move(owned));
    ASSERT_TRUE(WaitUntil([&] { return m_playback->IsReconnecting(); }, 5000));
    m_playback->StopOrResume();
    EXPECT_EQ(m_playback->IsPlaying(), 0);
    EXPECT_FALSE(m_playback->IsReconnecting());
    const size_t connections = m_stream.Paths().size();
    pause.Advance(ReconnectPolicy::kLongPause);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_stream.Paths().size(), connections);
}

TEST_F(RadioPlaybackReconnectTest, ExitEndsTheReconnectAtOnce)
{
    QSignalSpy firstAudio(m_playback->Player(), &MediaPlayer::FirstAudio);
    auto owned = std::make_unique<ManualReconnectTimer>();
    ManualReconnectTimer& pause = *owned;
    m_playback->SetReconnectTimer(std::move(owned));
    m_playback->PlayChannel("Beta", PlayMode::ByName);
    ASSERT_TRUE(WaitUntil([&] { return m_playback->IsReconnecting(); }, 8000));
    m_playback->Shutdown();
    EXPECT_FALSE(m_playback->IsReconnecting());
    const size_t connections = m_stream.Paths().size();
    pause.Advance(ReconnectPolicy::kLongPause);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_stream.Paths().size(), connections);
}

} // namespace
