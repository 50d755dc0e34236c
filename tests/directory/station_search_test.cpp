#include "directory/ChannelListText.h"
#include "directory/StationSearch.h"

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Row
{
    const char* country;
    const char* info;
    const char* name;
};

// A UTF-8 catalogue as the station import writes it.
ChannelList ListOf(const std::vector<Row>& rows, const QByteArray& offered = QByteArray())
{
    QByteArray text(kUtf8ByteOrderMark);
    text += QByteArray::number(qulonglong(rows.size())) + '\n';
    for (size_t i = 0; i < rows.size(); ++i)
        text += QByteArray(rows[i].country) + '\n' + rows[i].info + '\n' +
                QByteArray::number(qulonglong(i + 1)) + '\n' + rows[i].name + '\n';
    ChannelList list = ParseChannelListText(text);
    if (!offered.isEmpty())
        ApplyAvailability(list, offered);
    return list;
}

const std::vector<Row> kRows = {
    /* 0 */ {"Chile", "MP3 128 kbit/s | rock, pop | https://rockfm.example.cl/", "Rock FM"},
    /* 1 */ {"Chile", "AAC+ 64 kbit/s | jazz, smooth jazz", "Radio Café"},
    /* 2 */ {"Argentina", "MP3 128 kbit/s | rock", "Rock"},
    /* 3 */ {"Russia", "MP3 | news | russian", "Радио Москва"},
    /* 4 */ {"Chile", "rock, classic rock | spanish", "Clásica FM"},
    /* 5 */ {"Chile", "rock", "Jazz Rock Chile"}, // not offered
    /* 6 */ {"Germany", "JAZZ", "JAZZ"},
    /* 7 */ {"Peru", "", "Rock Uno"},
    /* 8 */ {"Peru", "", "Rock Dos"},
    /* 9 */ {"Ελλάδα", "http://stream.example.gr/live", "Ράδιο Αθήνα"},
};
const QByteArray kOffered("1111101111");

struct Case
{
    const char* query;
    std::vector<int> records;
    std::vector<SearchRank> ranks;
};

TEST(StationSearch, MatchesAndRanksAsTheUserExpects)
{
    using R = SearchRank;
    const Case cases[] = {
        // Whole name first, then names that start with it, names holding it, other fields;
        // within a rank the catalogue's order.
        {"rock",
         {2, 0, 7, 8, 4},
         {R::WholeName, R::NameStart, R::NameStart, R::NameStart, R::OtherField}},
        {"jazz", {6, 1}, {R::WholeName, R::OtherField}},
        {"jaz", {6, 1}, {R::NameStart, R::OtherField}},
        // Every word must be found (AND), each in any field.
        {"rock chile", {0, 4}, {R::NameWord, R::OtherField}},
        {"chile rock", {0, 4}, {R::NameWord, R::OtherField}},
        {"rock fm", {0, 4}, {R::WholeName, R::NameWord}},
        {"rock zzz", {}, {}},
        // Case and accents do not count, in either direction, in any script.
        {"cafe", {1}, {R::NameWord}},
        {"CAFÉ", {1}, {R::NameWord}},
        {"clasica", {4}, {R::NameStart}},
        {"москва", {3}, {R::NameWord}},
        {"МОСКВА", {3}, {R::NameWord}},
        {"αθηνα", {9}, {R::NameWord}},
        {"ελλ", {9}, {R::OtherField}},
        // A word must start a word of the text, not lie inside one.
        {"ock", {}, {}},
        {"afe", {}, {}},
        // Tags, language and a tag in capitals are searched; codec and addresses are not.
        {"smooth", {1}, {R::OtherField}},
        {"spanish", {4}, {R::OtherField}},
        {"russ", {3}, {R::OtherField}},
        {"mp3", {}, {}},
        {"kbit", {}, {}},
        {"https", {}, {}},
        {"example", {}, {}},
        {"stream", {}, {}},
        // Punctuation separates words and is not needed in the query.
        {"rock-fm", {0, 4}, {R::WholeName, R::NameWord}},
        {"", {}, {}},
        {" ,; ", {}, {}},
    };
    const ChannelList list = ListOf(kRows, kOffered);
    const StationSearch search(list);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        const std::vector<SearchHit> hits =
            search.Find(QString::fromUtf8(c.query), StationSearch::kWindowResults, list);
        std::vector<int> records;
        std::vector<SearchRank> ranks;
        for (const SearchHit& hit : hits) {
            records.push_back(hit.record);
            ranks.push_back(hit.rank);
        }
        EXPECT_EQ(records, c.records);
        EXPECT_EQ(ranks, c.ranks);
    }
}

TEST(StationSearch, OnlyOfferedChannelsAsTheyAreOfferedNow)
{
    ChannelList list = ListOf(kRows, kOffered);
    const StationSearch search(list);
    ASSERT_EQ(search.Find(QStringLiteral("jazz rock chile"), 10, list).size(), 0U);
    // The offer changes after the index was built: the index needs no rebuilding.
    ApplyAvailability(list, "0000011111");
    const auto hits = search.Find(QStringLiteral("jazz rock chile"), 10, list);
    ASSERT_EQ(hits.size(), 1U);
    EXPECT_EQ(hits[0].record, 5);
    EXPECT_EQ(hits[0].rank, SearchRank::WholeName);
    EXPECT_TRUE(search.Find(QStringLiteral("rock fm"), 10, list).empty());
}

TEST(StationSearch, LimitKeepsTheBestAndAShorterListIsSafe)
{
    const ChannelList list = ListOf(kRows, kOffered);
    const StationSearch search(list);
    const auto two = search.Find(QStringLiteral("rock"), 2, list);
    ASSERT_EQ(two.size(), 2U);
    EXPECT_EQ(two[0].record, 2);
    EXPECT_EQ(two[1].record, 0);
    EXPECT_TRUE(search.Find(QStringLiteral("rock"), 0, list).empty());
    // The list was replaced by a shorter one before the index was: no record past its end.
    const ChannelList shorter = ListOf({kRows[0], kRows[1]});
    const auto hits = search.Find(QStringLiteral("rock"), 10, shorter);
    ASSERT_EQ(hits.size(), 1U);
    EXPECT_EQ(hits[0].record, 0);
    EXPECT_TRUE(StationSearch().Find(QStringLiteral("rock"), 10, list).empty());
}

TEST(StationSearch, WindowsCatalogueIsDecodedBeforeFolding)
{
    // The demo catalogues are Windows-1252: 0xDF is ß, 0xE9 é.
    const ChannelList list = ParseChannelListText("2\nGermany\nOldies from Germany\n1\nBergstra\xDF"
                                                  "e Oldies\n"
                                                  "France\nChansons\n2\nCaf\xE9 Musique\n");
    const StationSearch search(list);
    const auto cafe = search.Find(QStringLiteral("cafe mus"), 10, list);
    ASSERT_EQ(cafe.size(), 1U);
    EXPECT_EQ(cafe[0].record, 1);
    EXPECT_EQ(cafe[0].rank, SearchRank::NameStart);
    // Case folding writes ß as "ss".
    ASSERT_EQ(search.Find(QStringLiteral("bergstrasse"), 10, list).size(), 1U);
    EXPECT_EQ(search.Find(QStringLiteral("oldies germany"), 10, list).size(), 1U);
}

TEST(StationSearch, ReadsTheToolTipsParts)
{
    const struct
    {
        const char* info;
        const char* format;
        const char* keywords; // joined by "|"
        const char* homepage;
    } cases[] = {
        {"MP3 128 kbit/s | rock, pop | https://a.example/", "MP3 128 kbit/s", "rock, pop",
         "https://a.example/"},
        {"AAC+ | jazz", "AAC+", "jazz", ""},
        {"64 kbit/s | www.example.org", "64 kbit/s", "", "www.example.org"},
        {"JAZZ | https://j.example/", "", "JAZZ", "https://j.example/"},
        {"http://stream.example/live.mp3", "", "", "http://stream.example/live.mp3"},
        {"Music and news from Germany", "", "Music and news from Germany", ""},
        {"jazz | MP3", "", "jazz|MP3", ""},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.info);
        const ChannelInfo info = ReadChannelInfo(QString::fromUtf8(c.info));
        EXPECT_EQ(info.format, QString::fromUtf8(c.format));
        EXPECT_EQ(info.keywords.join(QLatin1Char('|')), QString::fromUtf8(c.keywords));
        EXPECT_EQ(info.homepage, QString::fromUtf8(c.homepage));
    }
}

} // namespace
