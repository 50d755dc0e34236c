// The import of station lists: each input form with its wild variants, what is left out and
// why, and the catalogue and content tree it writes, read back by the program's own readers.

#include "directory/ChannelListText.h"
#include "tools/import/StationImport.h"

#include <QString>
#include <gtest/gtest.h>
#include <map>

namespace {

struct Expected
{
    const char* name;     // UTF-8
    const char* category; // UTF-8
    const char* address;
};

// The stations as name -> (category, address), and the problems' "source:line" prefixes.
void ExpectStations(const StationImport& import, const std::vector<Expected>& expected)
{
    ASSERT_EQ(import.Stations().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        const StationImport::Station& station = import.Stations()[i];
        EXPECT_EQ(station.name, QString::fromUtf8(expected[i].name));
        EXPECT_EQ(station.category, QString::fromUtf8(expected[i].category));
        EXPECT_EQ(station.address, QString::fromUtf8(expected[i].address));
    }
}

std::vector<std::string> ProblemPlaces(const StationImport& import)
{
    std::vector<std::string> places;
    for (const QString& problem : import.Problems())
        places.push_back(problem.section(QStringLiteral(": "), 0, 0).toStdString());
    return places;
}

TEST(StationImport, EachInputFormWithItsWildVariants)
{
    const struct
    {
        const char* source;
        QByteArray bytes;
        std::vector<Expected> stations;
        std::vector<std::string> problems;
    } cases[] = {
        {"directory.json",
         "\xEF\xBB\xBF[\r\n"
         " {\"name\": \"\xD0\xA0\xD0\xB0\xD0\xB4\xD0\xB8\xD0\xBE\", \"url_resolved\": "
         "\"http://r.example/ru.mp3\", \"url\": \"http://r.example/old\", \"country\": "
         "\"Russia\", \"codec\": \"MP3\", \"bitrate\": 128, \"tags\": \"news,talk\", "
         "\"homepage\": \"https://r.example/\", \"hls\": 0, \"lastcheckok\": 1},\r\n"
         " {\"name\": \"Down\", \"url\": \"http://r.example/down\", \"lastcheckok\": 0},\r\n"
         " {\"name\": null, \"url\": \"http://r.example/nameless\"},\r\n"
         " {\"name\": \"Tab\\tName #1\", \"url_resolved\": null, \"url\": "
         "\"http://r.example/tab\", \"country\": null},\r\n"
         " {\"name\": \"Twice\", \"url\": \"http://r.example/ru.mp3\"},\r\n"
         " {\"name\": \"Gopher\", \"url\": \"gopher://r.example/x\"},\r\n"
         " {\"name\": \"\xE6\x97\xA5\xE6\x9C\xAC\", \"url\": \"https://r.example/jp\", "
         "\"country\": \"Japan\"},\r\n"
         " 42\r\n"
         "]\r\n",
         {{"\xD0\xA0\xD0\xB0\xD0\xB4\xD0\xB8\xD0\xBE", "Russia", "http://r.example/ru.mp3"},
          {"Tab Name \xEF\xBC\x83"
           "1",
           "Other", "http://r.example/tab"},
          {"\xE6\x97\xA5\xE6\x9C\xAC", "Japan", "https://r.example/jp"}},
         {"directory.json:4", "directory.json:7", "directory.json:9"}},
        {"broken.json", "[{\"name\": \"x\",\n \"url\": }]", {}, {"broken.json:2"}},
        {"favourites.m3u8",
         "\xEF\xBB\xBF#EXTM3U\r\n"
         "#EXTINF:-1 tvg-id=\"a,b\" group-title=\"Jazz\",\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7"
         "\xCE\xBD\xCE\xB9\xCE\xBA\xCF\x8C\r\n"
         "http://m.example/jazz\r\n"
         "#EXTINF:-1,Plain title\r\n"
         "http://m.example/plain\r\n"
         "not an address\r\n"
         "http://m.example/untitled\r\n",
         {{"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCF\x8C", "Jazz",
           "http://m.example/jazz"},
          {"Plain title", "favourites", "http://m.example/plain"},
          {"http://m.example/untitled", "favourites", "http://m.example/untitled"}},
         {"favourites.m3u8:6"}},
        {"list.pls",
         "[playlist]\nNumberOfEntries=2\nFile2=http://p.example/two\nTitle2=Second\n"
         "File1=http://p.example/one\nTitle1=First\tone\n",
         {{"First one", "list", "http://p.example/one"},
          {"Second", "list", "http://p.example/two"}},
         {}},
        {"list.xspf",
         "<?xml version=\"1.0\"?>\n<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">\n"
         "<trackList>\n<track><title>\xD8\xB1\xD8\xA7\xD8\xAF\xD9\x8A\xD9\x88</title>"
         "<location>http://x.example/ar</location></track>\n"
         "<track><location>http://x.example/bare</location></track>\n</trackList></playlist>\n",
         {{"\xD8\xB1\xD8\xA7\xD8\xAF\xD9\x8A\xD9\x88", "list", "http://x.example/ar"},
          {"http://x.example/bare", "list", "http://x.example/bare"}},
         {}},
        {"notes.txt", "just some words\n", {}, {"notes.txt:1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        StationImport import;
        import.Read(c.bytes, QString::fromLatin1(c.source));
        ExpectStations(import, c.stations);
        EXPECT_EQ(ProblemPlaces(import), c.problems);
    }
}

// What is kept of a list is bounded: each case's stations by address, and its problems' places.
TEST(StationImport, NamesAddressesAndListsStayWithinTheirBounds)
{
    const QByteArray name200(200, 'n');
    const QByteArray path2048 = QByteArray(2048 - 17, 'p'); // "http://a.example/" is 17
    QByteArray lateHls = "#EXTM3U\n";
    while (lateHls.size() < 100 * 1024)
        lateHls += "http://h.example/" + QByteArray::number(lateHls.size()) + '\n';
    lateHls += "#EXT-X-TARGETDURATION:2\n";
    const struct
    {
        const char* source;
        QByteArray bytes;
        std::vector<QByteArray> addresses;
        std::vector<std::string> problems;
    } cases[] = {
        {"names.json",
         "[{\"name\": \"" + name200 + "\", \"url\": \"http://a.example/1\"},\n"
         " {\"name\": \"" + name200 + "x\", \"url\": \"http://a.example/2\"}]",
         {"http://a.example/1"},
         {"names.json:2"}},
        {"addresses.m3u",
         "#EXTM3U\n#EXTINF:-1,A\nhttp://a.example/" + path2048 + "\n#EXTINF:-1,B\nhttp://a.example/" +
             path2048 + "x\nhttp://a.example/" + QByteArray(20000, 'l') + "\n",
         {"http://a.example/" + path2048},
         {"addresses.m3u:5", "addresses.m3u:6"}},
        {"numbers-first.json", "[1, {\"name\": \"A\", \"url\": \"http://a.example/\"}]", {},
         {"numbers-first.json:1"}},
        {"numbers-after.json",
         "[{\"name\": \"A\", \"url\": \"http://a.example/\"},\n 1, \"x\", null, [2]]",
         {"http://a.example/"},
         {"numbers-after.json:2", "numbers-after.json:2", "numbers-after.json:2",
          "numbers-after.json:2"}},
        {"broken-late.json",
         "[{\"name\": \"A\", \"url\": \"http://a.example/\"},\n {\"name\": \"B\"} {}]", {},
         {"broken-late.json:2"}},
        {"broken-scalar.json", "[{\"name\": \"A\", \"url\": \"http://a.example/\"},\n 01]", {},
         {"broken-scalar.json:2"}},
        {"late.m3u", lateHls, {}, {"late.m3u:1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        StationImport import;
        import.Read(c.bytes, QString::fromLatin1(c.source));
        std::vector<QByteArray> addresses;
        for (const StationImport::Station& station : import.Stations())
            addresses.push_back(station.address.toUtf8());
        EXPECT_EQ(addresses, c.addresses);
        EXPECT_EQ(ProblemPlaces(import), c.problems);
    }
}

TEST(StationImport, ANameMadeOfALongAddressIsCutAndProblemsPastAHundredAreCounted)
{
    QByteArray list = "#EXTM3U\nhttp://a.example/" + QByteArray(300, 'x') + "\n";
    for (int i = 0; i < 150; ++i)
        list += "no address " + QByteArray::number(i) + "\n";
    StationImport import;
    import.Read(list, QStringLiteral("list.m3u"));
    ASSERT_EQ(import.Stations().size(), 1u);
    EXPECT_EQ(import.Stations()[0].name.size(), StationImport::kMaxNameCharacters);
    EXPECT_EQ(import.Problems().size(), size_t(StationImport::kMaxProblemsKept));
    EXPECT_EQ(import.ProblemCount(), 150);
    EXPECT_TRUE(import.Problems().back().startsWith(QStringLiteral("list.m3u:102: ")));
}

TEST(StationImport, RepeatedAddressesAcrossListsKeepTheFirstAndDownStationsAreCounted)
{
    StationImport import;
    import.Read("[{\"name\": \"A\", \"url\": \"http://s.example/a\", \"lastcheckok\": 0},"
                " {\"name\": \"B\", \"url\": \"http://s.example/b\"}]",
                QStringLiteral("one.json"));
    import.Read("#EXTM3U\n#EXTINF:-1,B again\nhttp://s.example/b\n", QStringLiteral("two.m3u"));
    ExpectStations(import, {{"B", "Other", "http://s.example/b"}});
    EXPECT_EQ(import.Duplicates(), 1);
    EXPECT_EQ(import.FailedChecks(), 1);
}

TEST(StationImport, TheCatalogueReadsBackAsUtf8AndTheTreeIsDeterministic)
{
    const QByteArray list = "[{\"name\": \"\xD0\x9C\xD0\xB0\xD1\x8F\xD0\xBA\", \"url\": "
                            "\"http://s.example/m\", \"country\": \"Russia\", \"codec\": \"AAC\","
                            " \"bitrate\": 64, \"tags\": \"pop\"},"
                            " {\"name\": \"Second\", \"url\": \"http://s.example/s\"}]";
    StationImport first;
    first.Read(list, QStringLiteral("l.json"));
    StationImport second;
    second.Read(list, QStringLiteral("l.json"));
    EXPECT_EQ(first.CatalogueText(), second.CatalogueText());
    EXPECT_EQ(first.ContentFiles("3.0"), second.ContentFiles("3.0"));

    const ChannelList read = ParseChannelListText(first.CatalogueText());
    EXPECT_EQ(read.encoding, TextEncoding::Utf8);
    ASSERT_EQ(read.records.size(), 2u);
    EXPECT_EQ(read.records[0].name, "\xD0\x9C\xD0\xB0\xD1\x8F\xD0\xBA");
    EXPECT_EQ(read.records[0].category, "Russia");
    EXPECT_EQ(read.records[0].infoText, "AAC 64 kbit/s | pop");
    EXPECT_EQ(read.records[1].category, "Other");

    std::map<QString, QByteArray> files;
    for (const auto& [path, bytes] : first.ContentFiles("3.0"))
        files[path] = bytes;
    EXPECT_EQ(files[QStringLiteral("Wavelark/freechannels/package0.rd")], "11");
    EXPECT_EQ(files[QStringLiteral("Wavelark/freechannels/package0/1.rd")],
              "http://s.example/m\r\n");
    EXPECT_EQ(files[QStringLiteral("Wavelark/freechannels/package0/2.rd")],
              "http://s.example/s\r\n");
    EXPECT_EQ(files[QStringLiteral("wavelark/channelsplus/versionplus.txt")], "3.0\r\n");
    EXPECT_TRUE(files[QStringLiteral("wavelark/index.php")].startsWith("<!DOCTYPE html>"));
}

TEST(StationImport, DirectoryStationsGetShortCountryNamesLanguageAndPopularityOrder)
{
    StationImport import;
    import.Read("[{\"name\": \"Quiet\", \"url\": \"http://s.example/q\", \"country\": "
                "\"The Russian Federation\", \"countrycode\": \"RU\", \"votes\": 3,"
                " \"clickcount\": 50, \"language\": \"russian,english\", \"tags\": \"news\"},"
                " {\"name\": \"Loud\", \"url\": \"http://s.example/l\", \"country\": "
                "\"The United Kingdom Of Great Britain And Northern Ireland\", \"countrycode\": "
                "\"gb\", \"votes\": 90, \"clickcount\": 1},"
                " {\"name\": \"Clicked\", \"url\": \"http://s.example/c\", \"country\": "
                "\"Atlantis\", \"countrycode\": \"XX\", \"votes\": 3, \"clickcount\": 70},"
                " {\"name\": \"Plain\", \"url\": \"http://s.example/p\", \"country\": "
                "\"Chile\"}]",
                QStringLiteral("d.json"));
    // Votes, then clicks, most first; the order of the list where both are equal. The code's
    // short name where the code is known, the field otherwise.
    ExpectStations(import, {{"Loud", "United Kingdom", "http://s.example/l"},
                            {"Clicked", "Atlantis", "http://s.example/c"},
                            {"Quiet", "Russia", "http://s.example/q"},
                            {"Plain", "Chile", "http://s.example/p"}});
    EXPECT_EQ(import.Stations()[2].infoText, QStringLiteral("news | russian, english"));
}

} // namespace
