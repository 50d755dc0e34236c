#pragma once

#include "directory/ChannelListText.h"
#include "directory/ContentServer.h"
#include "hosted/MediaPlayer.h"
#include "radio/FakeWallClock.h"
#include "directory/ChannelDirectory.h"
#include "radio/RadioPlayback.h"
#include "radio/ScheduledPlay.h"
#include "radio/TestDirectory.h"
#include "support/LocalHttpServer.h"
#include "support/RawStreamServer.h"
#include "support/TestStreams.h"
#include "support/Wait.h"

#include <QFile>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// The playback with a real player (on fakesink unless the test names a capture sink) and the
// timers on a clock the test moves. Every channel's stream file names one live stream of the
// test tone; the content server counts the stream files it was asked for and can be "down"
// (answering every stream file with an error page).
class ScheduleFixture : public ::testing::Test
{
protected:
    static inline const QByteArray kCatalogue = "2\r\n"
                                                "Germany\r\nFirst\r\n11\r\nAlpha\r\n"
                                                "Germany\r\nSecond\r\n12\r\nBeta\r\n";

    void StartPlayback(const QDateTime& now, const QByteArray& sink = "fakesink sync=true")
    {
        m_clock.Set(now);
        ASSERT_TRUE(m_tones.Start());
        QFile mp3(m_tones.FilePath(QStringLiteral("tone.mp3")));
        ASSERT_TRUE(mp3.open(QIODevice::ReadOnly));
        RawStreamServer::Script script;
        script.body = mp3.readAll();
        script.bytesPerSecond = 16000;
        m_stream.SetScript(script);
        ASSERT_TRUE(m_stream.Start());
        const std::string address = m_stream.Root() + "live\r\n";
        m_content.server().set_keep_alive_timeout(1);
        m_content.server().Get(
            R"(/Wavelark/freechannels/package0/(\d+)\.rd)",
            [this, address](const httplib::Request&, httplib::Response& response) {
                ++m_streamFileRequests;
                if (m_down)
                    response.set_content("<!DOCTYPE html><html></html>", "text/html");
                else
                    response.set_content(address, "text/plain");
            });
        ASSERT_TRUE(m_content.Start());
        m_server =
            std::make_unique<ContentServer>(QByteArray::fromStdString(m_content.Root()), "3.0");
        LoadTestCatalogue(m_directory, *m_server, kCatalogue, "11");
        qputenv("WAVELARK_AUDIO_SINK", sink);
        m_playback = std::make_unique<RadioPlayback>(
            m_directory, *m_server, [this](const QByteArray& text) { m_messages.push_back(text); });
        ASSERT_TRUE(m_playback->CreatePlayer());
        qunsetenv("WAVELARK_AUDIO_SINK");
        m_scheduled = std::make_unique<ScheduledPlay>(*m_playback, m_clock.Clock());
    }

    void TearDown() override
    {
        m_scheduled.reset();
        m_playback.reset();
    }

    // Plays a channel as the tray does and waits until it plays.
    void PlayAlpha()
    {
        m_playback->PlayChannel("Alpha", PlayMode::ByName);
        ASSERT_TRUE(WaitUntil([this] { return !m_playback->IsBusy(); }, 20000));
        ASSERT_EQ(m_playback->IsPlaying(), 1);
    }

    int PlayerVolume() const { return m_playback->Player()->Volume(); }

    FakeWallClock m_clock{QDateTime(QDate(2026, 12, 11), QTime(22, 0), Qt::UTC)};
    TestStreams m_tones;
    RawStreamServer m_stream;
    LocalHttpServer m_content;
    std::atomic<int> m_streamFileRequests{0};
    std::atomic<bool> m_down{false};
    std::unique_ptr<ContentServer> m_server;
    ChannelDirectory m_directory;
    std::vector<QByteArray> m_messages;
    std::unique_ptr<RadioPlayback> m_playback;
    std::unique_ptr<ScheduledPlay> m_scheduled;
};
