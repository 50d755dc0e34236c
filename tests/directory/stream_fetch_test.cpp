#include "directory/ContentServer.h"
#include "directory/HttpFetch.h"
#include "directory/StreamFetch.h"
#include "fetch_test_support.h"

#include <gtest/gtest.h>

using namespace fetchtest;

namespace {

const char kAvailabilityPath[] = "/Wavelark/freechannels/package0.rd";

std::string StreamFilePath(int n)
{
    return "/Wavelark/freechannels/package0/" + std::to_string(n) + ".rd";
}

// Four channels in catalogue order, all offered as a freshly built list is.
ChannelList FourChannels()
{
    ChannelList list;
    const char* names[] = {"Alpha FM", "Beta Radio", "Gamma Jazz", "Delta News"};
    for (int i = 0; i < 4; ++i) {
        ChannelRecord record;
        record.category = "Country";
        record.name = names[i];
        record.position = i;
        record.available = 1;
        list.records.push_back(record);
    }
    list.count = 4;
    return list;
}

std::vector<qint32> Availability(const Catalogue& catalogue)
{
    std::vector<qint32> flags;
    for (const ChannelRecord& record : catalogue.RadioChannelList.records)
        flags.push_back(record.available);
    return flags;
}

// What start-up does, in one go: the address, the fetch, the flags.
void FetchAndApplyAvailability(Catalogue& catalogue, const ContentServer& server)
{
    const QByteArray address = TakeAvailabilityAddress(catalogue);
    if (!address.isEmpty())
        ApplyAvailability(catalogue.RadioChannelList, FetchAvailability(address, server));
}

class StreamFetchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.Start());
        m_contentServer = ContentServer(m_server.Root(), "3.0");
        m_catalogue.RadioChannelList = FourChannels();
        ResolvePackage(m_catalogue, m_contentServer);
    }
    void TearDown() override { m_server.Stop(); }

    NoProxyEnvironment m_noProxy;
    ScriptedServer m_server;
    ContentServer m_contentServer{QByteArray(), "3.0"}; // pointed at m_server once it runs
    Catalogue m_catalogue;
};

TEST(ContentServerTest, RootComesFromTheEnvironmentWithOneTrailingSlash)
{
    struct Case
    {
        std::optional<QByteArray> variable;
        QByteArray root;
    };
    const std::vector<Case> cases = {
        {std::nullopt, "http://127.0.0.1:8080/"},
        {QByteArray(""), "http://127.0.0.1:8080/"},
        {QByteArray("http://127.0.0.1:8000"), "http://127.0.0.1:8000/"},
        {QByteArray("http://127.0.0.1:8000/"), "http://127.0.0.1:8000/"},
        {QByteArray("https://radio.example/content/"), "https://radio.example/content/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variable.value_or("(unset)").toStdString());
        ScopedEnv variable("WAVELARK_CONTENT_SERVER", c.variable);
        const ContentServer server = ContentServer::FromEnvironment("3.0");
        EXPECT_EQ(server.Root(), c.root);
        EXPECT_EQ(server.RadioPagesBase(), c.root + "wavelark/");
        EXPECT_EQ(server.RadioCatalogueBase(), c.root + "Wavelark/");
        EXPECT_EQ(server.UserAgent(), "Wavelark/3.0");
    }
}

TEST_F(StreamFetchTest, ResolvePackageNamesPackageZeroUnderTheCatalogueBase)
{
    EXPECT_EQ(m_catalogue.PackageName, "package0");
    EXPECT_EQ(m_catalogue.PackageFolderAddress,
              m_server.Root() + "Wavelark/freechannels/package0/");
}

TEST_F(StreamFetchTest, AvailabilityTextMarksOnlyTheOnesAsOffered)
{
    struct Case
    {
        const char* name;
        int status;
        std::string body;
        std::vector<qint32> expected;
    };
    const std::vector<Case> cases = {
        {"equal to the list", 200, "1111", {1, 1, 1, 1}},
        {"101 on four channels", 200, "101", {1, 0, 1, 0}},
        {"shorter than the list", 200, "11", {1, 1, 0, 0}},
        {"longer than the list", 200, "011111111", {0, 1, 1, 1}},
        // Not cut at the line end: the CR and LF are characters like any other.
        {"line end counts", 200, "1\r\n1", {1, 0, 0, 1}},
        {"empty text", 200, "", {0, 0, 0, 0}},
        {"web page with 200", 200, "<!DOCTYPE html>1111", {0, 0, 0, 0}},
        {"error page with 404", 404, "1<!DOCTYPE html>", {1, 0, 0, 0}},
        {"zero byte ends the text",
         200,
         std::string("11\0"
                     "11",
                     5),
         {1, 1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_catalogue.RadioChannelList = FourChannels();
        m_server.Set(kAvailabilityPath, c.status, c.body);
        FetchAndApplyAvailability(m_catalogue, m_contentServer);
        EXPECT_EQ(Availability(m_catalogue), c.expected);
    }
}

TEST_F(StreamFetchTest, FolderAddressLosesItsSlashOnceAndStreamFilesGetExactlyOne)
{
    m_server.Set(kAvailabilityPath, 200, "1111");
    m_server.Set(StreamFilePath(3), 200, "http://radio.example/gamma.mp3\r\n");

    FetchAndApplyAvailability(m_catalogue, m_contentServer);
    EXPECT_EQ(m_catalogue.PackageFolderAddress, m_server.Root() + "Wavelark/freechannels/package0");
    // A second fetch leaves the shorter address alone: the "0" is not a separator.
    FetchAndApplyAvailability(m_catalogue, m_contentServer);
    EXPECT_EQ(m_catalogue.PackageFolderAddress, m_server.Root() + "Wavelark/freechannels/package0");

    EXPECT_EQ(FetchEntryText(m_catalogue.PackageFolderAddress, m_contentServer, 3),
              "http://radio.example/gamma.mp3\r");
    EXPECT_EQ(m_server.SeenPaths(),
              (std::vector<std::string>{kAvailabilityPath, kAvailabilityPath, StreamFilePath(3)}));
}

TEST_F(StreamFetchTest, BackslashAtTheEndOfTheFolderIsRemovedToo)
{
    m_catalogue.PackageFolderAddress = m_server.Root() + "Wavelark/freechannels/package0\\";
    m_server.Set(kAvailabilityPath, 200, "0110");
    FetchAndApplyAvailability(m_catalogue, m_contentServer);
    EXPECT_EQ(m_catalogue.PackageFolderAddress, m_server.Root() + "Wavelark/freechannels/package0");
    EXPECT_EQ(Availability(m_catalogue), (std::vector<qint32>{0, 1, 1, 0}));
}

TEST_F(StreamFetchTest, EmptyFolderAddressFetchesNothingAndChangesNothing)
{
    m_catalogue.PackageFolderAddress.clear();
    FetchAndApplyAvailability(m_catalogue, m_contentServer);
    EXPECT_EQ(Availability(m_catalogue), (std::vector<qint32>{1, 1, 1, 1}));
    EXPECT_TRUE(m_catalogue.PackageFolderAddress.isEmpty());
    EXPECT_TRUE(m_server.Seen().empty());
}

TEST_F(StreamFetchTest, FailedAvailabilityFetchOffersNoChannel)
{
    ContentServer down(Address(ClosedPort(), "/"), "3.0");
    ResolvePackage(m_catalogue, down);
    FetchAndApplyAvailability(m_catalogue, down);
    EXPECT_EQ(Availability(m_catalogue), (std::vector<qint32>{0, 0, 0, 0}));
}

TEST_F(StreamFetchTest, EntryTextIsTheFirstLineAndEmptyForAWebPage)
{
    struct Case
    {
        const char* name;
        int status;
        std::string body;
        QByteArray expected;
    };
    const std::string longAddress = "http://radio.example/" + std::string(1100, 'a');
    const std::vector<Case> cases = {
        {"cr lf keeps the cr", 200, "http://radio.example/a.mp3\r\n",
         "http://radio.example/a.mp3\r"},
        {"several lines", 200, "http://radio.example/b.ogg\nsecond\nthird\n",
         "http://radio.example/b.ogg"},
        {"no line end", 200, "http://radio.example/c.aac", "http://radio.example/c.aac"},
        {"no line end past 1024 bytes", 200, longAddress,
         QByteArray::fromStdString(longAddress.substr(0, 1024))},
        {"zero byte inside", 200, std::string("http://r.example/d\0\nx", 21), "http://r.example/d"},
        {"error page with 404", 404, "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n", ""},
        {"error page with 200", 200, "<!DOCTYPE html>\r\n<html></html>", ""},
        // Only the exact prefix marks a web page.
        {"lower-case doctype", 200, "<!doctype html>\n", "<!doctype html>"},
        {"empty body", 200, "", ""},
        {"empty first line", 200, "\nhttp://radio.example/e.mp3\n", ""},
        {"404 without body", 404, "", ""},
        // Another server's error page, and an address sent with an error status.
        {"nginx 404 page", 404, "<html>\r\n<head><title>404 Not Found</title></head>\r\n", ""},
        {"address with 500", 500, "http://radio.example/f.mp3\r\n", ""},
        {"address with 203", 203, "http://radio.example/g.mp3\r\n", "http://radio.example/g.mp3\r"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const int n = static_cast<int>(i) + 1;
        m_server.Set(StreamFilePath(n), c.status, c.body);
        m_catalogue.PackageFolderAddress = m_server.Root() + "Wavelark/freechannels/package0";
        EXPECT_EQ(FetchEntryText(m_catalogue.PackageFolderAddress, m_contentServer, n), c.expected);
    }
}

TEST_F(StreamFetchTest, UnreachableServerGivesTheEmptyText)
{
    struct Case
    {
        const char* name;
        QByteArray folder;
    };
    const std::vector<Case> cases = {
        {"closed port", Address(ClosedPort(), "/Wavelark/freechannels/package0")},
        {"unresolvable host", "http://" + kUnresolvableHost + "/Wavelark/freechannels/package0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_catalogue.PackageFolderAddress = c.folder;
        EXPECT_EQ(FetchEntryText(m_catalogue.PackageFolderAddress, m_contentServer, 2), "");
    }
}

TEST_F(StreamFetchTest, ServerThatNeverAnswersEndsTheEntryFetchWithinTheBound)
{
    SilentServer silent;
    ASSERT_GT(silent.Port(), 0);
    m_catalogue.PackageFolderAddress = Address(silent.Port(), "/Wavelark/freechannels/package0");
    const Stopwatch watch;
    EXPECT_EQ(FetchEntryText(m_catalogue.PackageFolderAddress, m_contentServer, 1), "");
    EXPECT_LT(watch.ElapsedMs(), kEntryFetchSettings.attemptTimeoutMs + 1500);
    EXPECT_EQ(silent.Accepted(), 1);
}

} // namespace
