#include "directory/ContentServer.h"
#include "directory/HttpFetch.h"
#include "directory/UpdateNotice.h"
#include "fetch_test_support.h"

#include <gtest/gtest.h>

using namespace fetchtest;

namespace {

const char kVersionPath[] = "/wavelark/channelsplus/versionplus.txt";

TEST(UpdateNoticeTest, VersionTextDropsTheCharacterBeforeTheStop)
{
    struct Case
    {
        QByteArray bytes;
        float expected;
    };
    const std::vector<Case> cases = {
        {"3.10\r\n", 3.10f},
        {"3.10\r\nsecond line\r\n", 3.10f},
        {"3.25\n", 3.2f},           // LF only: the last digit goes
        {"3.25 comment\r\n", 3.2f}, // blank: the digit before it goes
        {"3.25", 3.2f},             // no line end: the end of the data is the stop
        {QByteArray("3.25\0\r\n", 7), 3.2f},
        {"3.25\xA0\r\n", 3.25f}, // a byte of 128 or more: nothing is dropped
        {"3.25\xE9", 3.25f},
        {"4\r\n", 4.0f},
        {"\r\n", 0.0f},
        {"\n", 0.0f}, // the stop is the first byte: nothing before it
        {" 3.10", 0.0f},
        {QByteArray("\0003.10\r\n", 7), 0.0f},
        {"\xA0"
         "3.10",
         0.0f},
        {"", 0.0f}, // an empty answer: no version text at all
        {"no number\r\n", 0.0f},
        {"<!DOCTYPE html>\r\n", 0.0f},
        {"v3.10\r\n", 0.0f},
        {"3.10beta\r\n", 3.10f}, // atof stops at the first character that is no part of it
        {"\t3.5\r\n", 3.5f},     // atof skips leading white space
        {"+3.5\r\n", 3.5f},
        {"-1\r\n", -1.0f},
        {".5\r\n", 0.5f},
        {"3.\r\n", 3.0f},
        {".\r\n", 0.0f},
        {"3e1\r\n", 30.0f},
        {"1e39\r\n", 0.0f}, // too large for a float: no usable number
        {"inf\r\n", 0.0f},
        {"nan\r\n", 0.0f},
        {"0x10\r\n", 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.toPercentEncoding().toStdString());
        EXPECT_FLOAT_EQ(NewestVersionFromText(c.bytes), c.expected);
    }
}

TEST(UpdateNoticeTest, CaptionHasTwoDecimals)
{
    struct Case
    {
        float newest;
        const char* caption;
    };
    const std::vector<Case> cases = {
        {3.1f, "Download version 3.10 now..."},   {3.2f, "Download version 3.20 now..."},
        {3.25f, "Download version 3.25 now..."},  {4.0f, "Download version 4.00 now..."},
        {12.5f, "Download version 12.50 now..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(DownloadCaption(c.newest), QString::fromUtf8(c.caption));
    }
}

TEST(UpdateNoticeTest, ButtonShowsOnlyForAHigherVersion)
{
    struct Case
    {
        float program;
        float newest;
        std::optional<QString> caption;
    };
    const std::vector<Case> cases = {
        {3.0f, 3.1f, QStringLiteral("Download version 3.10 now...")},
        {3.0f, 3.0f, std::nullopt},
        {3.1f, 3.0f, std::nullopt},
        {3.0f, 0.0f, std::nullopt},
        {1.1f, 3.2f, QStringLiteral("Download version 3.20 now...")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.program << " vs " << c.newest);
        EXPECT_EQ(DownloadButtonCaption(c.program, c.newest), c.caption);
    }
}

class UpdateNoticeFetchTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }
    void TearDown() override { m_server.Stop(); }

    NoProxyEnvironment m_noProxy;
    ScriptedServer m_server;
};

TEST_F(UpdateNoticeFetchTest, VersionFileDecidesTheButton)
{
    struct Case
    {
        const char* name;
        int status;
        std::string body;
        float program;
        std::optional<QString> caption;
    };
    const std::vector<Case> cases = {
        {"newer with cr lf", 200, "3.10\r\n", 3.0f, QStringLiteral("Download version 3.10 now...")},
        {"equal", 200, "3.0\r\n", 3.0f, std::nullopt},
        {"equal with a later line", 200, "3.1\r\n9.9\r\n", 3.1f, std::nullopt},
        {"lf only drops a digit", 200, "3.25\n", 3.0f,
         QStringLiteral("Download version 3.20 now...")},
        {"comment drops a digit", 200, "3.25 comment\r\n", 3.0f,
         QStringLiteral("Download version 3.20 now...")},
        {"no line end drops a digit", 200, "3.25", 3.0f,
         QStringLiteral("Download version 3.20 now...")},
        {"no number", 200, "latest\r\n", 3.0f, std::nullopt},
        {"empty", 200, "", 3.0f, std::nullopt},
        {"missing file page", 404, "<!DOCTYPE html>\r\n<html>Not Found</html>", 3.0f, std::nullopt},
        // Only a 2xx answer is the file, whatever the body of another says.
        {"404 with a plain text", 404, "404: Not Found", 3.0f, std::nullopt},
        {"503 with a version", 503, "9.9\r\n", 3.0f, std::nullopt},
        {"500 with a version", 500, "4.0\r\n", 3.0f, std::nullopt},
        {"403 with a version", 403, "4.0\r\n", 3.0f, std::nullopt},
        {"203 is a success", 203, "3.10\r\n", 3.0f, QStringLiteral("Download version 3.10 now...")},
    };
    const ContentServer server(m_server.Root(), "3.0");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.Set(kVersionPath, c.status, c.body);
        const float newest = FetchNewestVersion(server, c.program);
        EXPECT_EQ(DownloadButtonCaption(c.program, newest), c.caption);
    }
}

TEST_F(UpdateNoticeFetchTest, AsksThePagesFolderWithThePlainGet)
{
    m_server.Set(kVersionPath, 200, "3.10\r\n");
    const ContentServer server(m_server.Root(), "3.0");
    EXPECT_EQ(VersionFileAddress(server),
              m_server.Root() + "wavelark/channelsplus/versionplus.txt");
    EXPECT_FLOAT_EQ(FetchNewestVersion(server, 3.0f), 3.10f);
    const std::vector<SeenRequest> seen = m_server.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].path, kVersionPath);
    const auto agent = seen[0].headers.find("User-Agent");
    ASSERT_NE(agent, seen[0].headers.end());
    EXPECT_EQ(agent->second, "Wavelark/3.0");
}

TEST(UpdateNoticeFailureTest, UnreachableServerKeepsTheProgramVersionAndHidesTheButton)
{
    NoProxyEnvironment noProxy;
    SilentServer silent;
    ASSERT_GT(silent.Port(), 0);
    struct Case
    {
        const char* name;
        QByteArray root;
        qint64 boundMs;
    };
    const std::vector<Case> cases = {
        {"closed port", Address(ClosedPort(), "/"), 2000},
        {"unresolvable host", "http://" + kUnresolvableHost + "/", 2000},
        {"server never answers", Address(silent.Port(), "/"),
         kVersionFetchSettings.attemptTimeoutMs + 1500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ContentServer server(c.root, "3.0");
        const Stopwatch watch;
        const float newest = FetchNewestVersion(server, 3.0f);
        EXPECT_LT(watch.ElapsedMs(), c.boundMs);
        EXPECT_FLOAT_EQ(newest, 3.0f);
        EXPECT_EQ(DownloadButtonCaption(3.0f, newest), std::nullopt);
    }
}

} // namespace
