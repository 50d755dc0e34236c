// HttpFetch with other limits than the catalogue's 1024 bytes: how playlists are read (a larger
// size, the content type and status, an early end at the first bytes of a stream, a cancel from
// another thread) and that a shoutcast server's "ICY 200 OK" answer is an answer.

#include "directory/HttpFetch.h"
#include "fetch_test_support.h"
#include "support/RawStreamServer.h"

#include <QByteArray>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace fetchtest;

namespace {

const QByteArray kAgent = "Wavelark/3.0";
constexpr int kPlaylistBytes = 64 * 1024;

class HttpFetchLimitsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto& server = m_http.server();
        server.Get("/big.pls", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(100 * 1024, 'p'), "audio/x-scpls");
        });
        server.Get("/gone.pls", [](const httplib::Request&, httplib::Response& response) {
            response.status = 404;
            response.set_content("[playlist]\n", "audio/x-scpls");
        });
        // An endless stream: the fetch must not read it to its size limit.
        server.Get("/live.mp3", [this](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider(
                "audio/mpeg", [this](size_t offset, httplib::DataSink& sink) {
                    if (m_stopping || offset > (8u << 20))
                        return false;
                    const std::string chunk(1024, '\xFF');
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    return sink.write(chunk.data(), chunk.size());
                });
        });
        ASSERT_TRUE(m_http.Start());
    }
    void TearDown() override
    {
        m_stopping = true;
        m_http.Stop();
    }

    QByteArray At(const char* path) const
    {
        return QByteArray::fromStdString(m_http.Root()) + QByteArray(path + 1);
    }

    NoProxyEnvironment m_noProxy;
    LocalHttpServer m_http;
    std::atomic<bool> m_stopping{false};
};

TEST_F(HttpFetchLimitsTest, KeepsUpToTheGivenSizeAndReportsTypeAndStatus)
{
    FetchLimits limits;
    limits.keptBytes = kPlaylistBytes;
    const FetchResult big = HttpFetch(At("/big.pls"), kAgent, kEntryFetchSettings, limits);
    ASSERT_TRUE(big.ok) << big.error.toStdString();
    EXPECT_EQ(big.text.size(), kPlaylistBytes);
    EXPECT_EQ(big.status, 200);
    EXPECT_EQ(big.contentType, "audio/x-scpls");

    const FetchResult gone = HttpFetch(At("/gone.pls"), kAgent, kEntryFetchSettings, limits);
    ASSERT_TRUE(gone.ok);
    EXPECT_EQ(gone.status, 404);

    // The three-argument fetch keeps its 1024 bytes.
    EXPECT_EQ(HttpFetch(At("/big.pls"), kAgent, kEntryFetchSettings).text.size(), kFetchKeptBytes);
}

TEST_F(HttpFetchLimitsTest, EndsAtTheFirstBytesWhenTheCallerHasSeenEnough)
{
    QByteArray seenType;
    FetchLimits limits;
    limits.keptBytes = kPlaylistBytes;
    limits.keepReading = [&](const QByteArray& type, const QByteArray&) {
        seenType = type;
        return false;
    };
    const Stopwatch watch;
    const FetchResult result = HttpFetch(At("/live.mp3"), kAgent, kEntryFetchSettings, limits);
    EXPECT_LT(watch.ElapsedMs(), 1000);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(seenType, "audio/mpeg");
    EXPECT_EQ(result.contentType, "audio/mpeg");
    EXPECT_GT(result.text.size(), 0);
    EXPECT_LT(result.text.size(), kPlaylistBytes);
}

TEST_F(HttpFetchLimitsTest, ACancelFromAnotherThreadEndsTheFetchSoon)
{
    std::atomic<bool> cancel{false};
    FetchLimits limits;
    limits.keptBytes = 1 << 30;
    limits.cancel = &cancel;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
    });
    const Stopwatch watch;
    const FetchResult result = HttpFetch(At("/live.mp3"), kAgent, {5000, 60000, 3}, limits);
    canceller.join();
    EXPECT_FALSE(result.ok);
    // Ended by the cancel, far inside the minute the transfer was allowed.
    EXPECT_LT(watch.ElapsedMs(), 30000);
    EXPECT_EQ(result.attempts, 1);
    EXPECT_EQ(result.error, QStringLiteral("cancelled")); // not reported as a failed fetch

    // Cancelled before it starts: no connection at all.
    const FetchResult early = HttpFetch(At("/big.pls"), kAgent, kEntryFetchSettings, limits);
    EXPECT_FALSE(early.ok);
    EXPECT_EQ(early.attempts, 0);
    EXPECT_EQ(early.error, QStringLiteral("cancelled"));
}

TEST(HttpFetchIcyTest, AShoutcastAnswerIsAnAnswer)
{
    NoProxyEnvironment noProxy;
    RawStreamServer server;
    RawStreamServer::Script script;
    script.head = "ICY 200 OK\r\nicy-name: Test\r\ncontent-type: audio/x-scpls";
    script.body = "[playlist]\nFile1=http://a.example/x\n";
    script.byteLimit = script.body.size();
    server.SetScript(script);
    ASSERT_TRUE(server.Start());
    FetchLimits limits;
    limits.keptBytes = kPlaylistBytes;
    const FetchResult result = HttpFetch(QByteArray::fromStdString(server.Root()) + "list", kAgent,
                                         kEntryFetchSettings, limits);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.contentType, "audio/x-scpls");
    EXPECT_EQ(result.text, script.body);
}

} // namespace
