#include "directory/HttpFetch.h"
#include "fetch_test_support.h"

#include <gtest/gtest.h>
#include <set>

using namespace fetchtest;

namespace {

const QByteArray kAgent = "Wavelark/3.0";

class HttpFetchTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }
    void TearDown() override { m_server.Stop(); }

    QByteArray At(const char* path) const { return m_server.Root() + QByteArray(path + 1); }

    NoProxyEnvironment m_noProxy;
    ScriptedServer m_server;
};

struct BodyCase
{
    const char* name;
    int status;
    std::string body;
    QByteArray expected;
};

std::string Repeat(char c, size_t count)
{
    return std::string(count, c);
}

TEST_F(HttpFetchTest, KeepsTheFirst1024BytesUpToTheFirstZeroByte)
{
    const std::string doctype = "<!DOCTYPE html>\n<html><body>Not Found</body></html>\n";
    const std::vector<BodyCase> cases = {
        {"cr lf kept", 200, "http://radio.example/one.mp3\r\n", "http://radio.example/one.mp3\r\n"},
        {"several lines", 200, "first\r\nsecond\r\nthird\r\n", "first\r\nsecond\r\nthird\r\n"},
        {"no line end", 200, "http://radio.example/two.ogg", "http://radio.example/two.ogg"},
        {"exactly 1024", 200, Repeat('x', 1024), QByteArray(1024, 'x')},
        {"1025 bytes", 200, Repeat('y', 1025), QByteArray(1024, 'y')},
        {"a megabyte", 200, Repeat('z', 1 << 20), QByteArray(1024, 'z')},
        {"zero byte inside", 200, std::string("abc\0def", 7), "abc"},
        {"zero byte first", 200, std::string("\0abc", 4), ""},
        {"zero byte past 1024", 200, Repeat('q', 1500) + std::string(1, '\0'),
         QByteArray(1024, 'q')},
        {"empty body", 200, "", ""},
        {"error page with 404", 404, doctype, QByteArray::fromStdString(doctype)},
        {"error page with 200", 200, doctype, QByteArray::fromStdString(doctype)},
        {"404 without body", 404, "", ""},
        {"server error with text", 500, "1101", "1101"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const BodyCase& c = cases[i];
        SCOPED_TRACE(c.name);
        const std::string path = "/case/" + std::to_string(i + 1) + ".rd";
        m_server.Set(path, c.status, c.body);
        const QByteArray address = m_server.Root() + QByteArray::fromStdString(path.substr(1));
        const FetchResult result = HttpFetch(address, kAgent, kEntryFetchSettings);
        EXPECT_TRUE(result.ok) << result.error.toStdString();
        EXPECT_EQ(result.text, c.expected);
        EXPECT_TRUE(result.error.isEmpty());
        EXPECT_EQ(result.attempts, 1);
    }
}

TEST_F(HttpFetchTest, SendsAPlainGetWithTheUserAgentAndNoExtraHeaders)
{
    m_server.Set("/entry.rd", 200, "address\r\n");
    ASSERT_TRUE(HttpFetch(At("/entry.rd"), "Wavelark/3.25", kEntryFetchSettings).ok);

    const std::vector<SeenRequest> seen = m_server.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].path, "/entry.rd");
    EXPECT_TRUE(seen[0].body.empty());
    const auto agent = seen[0].headers.find("User-Agent");
    ASSERT_NE(agent, seen[0].headers.end());
    EXPECT_EQ(agent->second, "Wavelark/3.25");
    // What a plain GET carries; the server adds the REMOTE_/LOCAL_ entries itself.
    const std::set<std::string> allowed = {"Host",        "User-Agent", "Accept",    "REMOTE_ADDR",
                                           "REMOTE_PORT", "LOCAL_ADDR", "LOCAL_PORT"};
    for (const auto& [name, value] : seen[0].headers)
        EXPECT_TRUE(allowed.count(name)) << "unexpected request header " << name << ": " << value;
}

TEST_F(HttpFetchTest, FollowsARedirectToTheEntry)
{
    m_server.Set("/moved.rd", {302, "", m_server.Root().toStdString() + "here.rd"});
    m_server.Set("/here.rd", 200, "http://radio.example/moved.mp3\r\n");
    const FetchResult result = HttpFetch(At("/moved.rd"), kAgent, kEntryFetchSettings);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.text, "http://radio.example/moved.mp3\r\n");
}

TEST_F(HttpFetchTest, EndlessRedirectsAreAnInternetError)
{
    m_server.Set("/loop.rd", {302, "", m_server.Root().toStdString() + "loop.rd"});
    const FetchResult result = HttpFetch(At("/loop.rd"), kAgent, kEntryFetchSettings);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.text.isEmpty());
    EXPECT_LE(m_server.Seen().size(), 10u);
}

// Failures where no server ever answers: each is an internet error with an empty text, and only
// a connection that could not be made is tried again.
TEST(HttpFetchFailureTest, InternetErrorsGiveNoTextAndRetryOnlyRefusedConnections)
{
    NoProxyEnvironment noProxy;
    struct FailureCase
    {
        const char* name;
        QByteArray address;
        int attempts;
    };
    const std::vector<FailureCase> cases = {
        {"closed port", Address(ClosedPort(), "/Wavelark/freechannels/package0.rd"), 3},
        {"unresolvable host", "http://" + kUnresolvableHost + "/Wavelark/freechannels/1.rd", 1},
        {"malformed address", "http://[::1/1.rd", 1},
        {"empty address", "", 1},
        {"file address", "file:///etc/hostname", 1},
        {"unsupported scheme", "ftp://127.0.0.1/1.rd", 1},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Stopwatch watch;
        const FetchResult result = HttpFetch(c.address, kAgent, kEntryFetchSettings);
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.text.isEmpty());
        EXPECT_FALSE(result.error.isEmpty());
        EXPECT_EQ(result.attempts, c.attempts);
        // All of these fail on the spot; the bound only proves that nothing waited.
        EXPECT_LT(watch.ElapsedMs(), 2000);
    }
}

TEST(HttpFetchFailureTest, ConnectTimeOutIsTriedAgainEachWithinItsTimeOut)
{
    NoProxyEnvironment noProxy;
    FullBacklogPort port;
    ASSERT_GT(port.Port(), 0);
    const Stopwatch watch;
    const FetchResult result =
        HttpFetch(Address(port.Port(), "/x.txt"), kAgent, kVersionFetchSettings);
    const qint64 elapsed = watch.ElapsedMs();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.attempts, kVersionFetchSettings.connectAttempts);
    // Three connect time-outs of 1 s each: never sooner (each attempt waited for its connect
    // time-out), and not the whole-attempt bound three times over (a generous bound: the machine
    // may be loaded).
    EXPECT_GE(elapsed, 3 * kVersionFetchSettings.connectTimeoutMs - 200);
    EXPECT_LT(elapsed, 3 * kVersionFetchSettings.attemptTimeoutMs);
}

TEST(HttpFetchFailureTest, AServerThatNeverAnswersEndsTheFetchWithinTheBound)
{
    NoProxyEnvironment noProxy;
    SilentServer silent;
    ASSERT_GT(silent.Port(), 0);
    const Stopwatch watch;
    const FetchResult result =
        HttpFetch(Address(silent.Port(), "/x.txt"), kAgent, kVersionFetchSettings);
    const qint64 elapsed = watch.ElapsedMs();
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.text.isEmpty());
    // The connection stood, so asking again would only have frozen the window longer.
    EXPECT_EQ(result.attempts, 1);
    EXPECT_EQ(silent.Accepted(), 1);
    // Ended by its own bound, not by the server: generously below what a retry would add.
    EXPECT_LT(elapsed, 2 * kVersionFetchSettings.attemptTimeoutMs);
}

TEST_F(HttpFetchTest, ATricklingServerEndsTheFetchWithinTheBound)
{
    // One byte every 200 ms: 1024 bytes would take minutes.
    m_server.Set("/trickle.txt", {200, "", "", true});
    const Stopwatch watch;
    const FetchResult result = HttpFetch(At("/trickle.txt"), kAgent, kVersionFetchSettings);
    const qint64 elapsed = watch.ElapsedMs();
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.text.isEmpty());
    EXPECT_EQ(result.attempts, 1);
    EXPECT_LT(elapsed, kVersionFetchSettings.attemptTimeoutMs + 1500);
}

} // namespace
