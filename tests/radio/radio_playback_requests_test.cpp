// Play requests that overtake each other while a failed fetch's message is open: the message
// runs its own event loop, so a media key held down or a script on the desktop bus reaches the
// playback object again before the first request has finished.

#include "directory/ChannelListText.h"
#include "directory/ContentServer.h"
#include "radio/RadioPlayback.h"
#include "support/LocalHttpServer.h"
#include "support/RawStreamServer.h"
#include "support/TestStreams.h"
#include "support/Wait.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

// Alpha's stream file is a web page served in its place; the others name a live stream.
const QByteArray kRequestsCatalogue = "3\r\n"
                                      "Germany\r\nFirst\r\n11\r\nAlpha\r\n"
                                      "Germany\r\nSecond\r\n12\r\nBeta\r\n"
                                      "France\r\nThird\r\n13\r\nGamma\r\n";

class RadioPlaybackRequestsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tones.Start());
        QFile mp3(m_tones.FilePath(QStringLiteral("tone.mp3")));
        ASSERT_TRUE(mp3.open(QIODevice::ReadOnly));
        RawStreamServer::Script script;
        script.body = mp3.readAll();
        script.bytesPerSecond = 16000;
        m_stream.SetScript(script);
        ASSERT_TRUE(m_stream.Start());
        const std::string address = m_stream.Root() + "live\r\n";
        m_content.server().Get(
            R"(/Wavelark/freechannels/package0/(\d+)\.rd)",
            [address](const httplib::Request& request, httplib::Response& response) {
                if (request.matches[1] == "1")
                    response.set_content("<!DOCTYPE html><html></html>", "text/html");
                else
                    response.set_content(address, "text/plain");
            });
        ASSERT_TRUE(m_content.Start());
        m_server =
            std::make_unique<ContentServer>(QByteArray::fromStdString(m_content.Root()), "3.0");
        m_catalogue.RadioChannelList = ParseChannelListText(kRequestsCatalogue);
        ApplyAvailability(m_catalogue.RadioChannelList, "111");
        m_catalogue.PackageFolderAddress = m_server->Root() + "Wavelark/freechannels/package0";
        qputenv("WAVELARK_AUDIO_SINK", "fakesink sync=true");
        // Like the modal message dialog: an event loop of its own until the user closes it.
        m_playback =
            std::make_unique<RadioPlayback>(m_catalogue, *m_server, [this](const QByteArray& text) {
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
    Catalogue m_catalogue;
    std::vector<QByteArray> m_messages;
    int m_openMessages = 0;
    int m_mostOpenMessages = 0;
    // Run once, from the event loop of the first message that opens.
    std::function<void()> m_whileMessageOpen;
    std::unique_ptr<RadioPlayback> m_playback;
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

} // namespace
