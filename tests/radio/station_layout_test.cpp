#include "directory/ContentServer.h"
#include "radio/StationIds.h"
#include "radio/StationLayout.h"

#include <gtest/gtest.h>

namespace {

ChannelRecord Record(const char* category, const char* name, int available)
{
    ChannelRecord record;
    record.category = category;
    record.name = name;
    record.available = available;
    return record;
}

} // namespace

TEST(StationLayout, CountriesAreListedOnceAndOnlyWithAnOfferedChannel)
{
    ChannelList list;
    list.records = {Record("Germany", "A", 0), Record("Germany", "B", 1), Record("Italy", "C", 0),
                    Record("austria", "D", 1), Record("germany", "E", 1), Record("Italy", "F", 0)};
    list.count = int(list.records.size());
    // Germany comes through its second record; Italy offers nothing; the comparison is exact.
    EXPECT_EQ(CountriesToList(list), (std::vector<QByteArray>{"Germany", "austria", "germany"}));
    EXPECT_EQ(ChannelsOfCountry(list, "Germany"), (std::vector<int>{1}));
    EXPECT_TRUE(ChannelsOfCountry(list, "Italy").empty());
    EXPECT_TRUE(ChannelsOfCountry(list, "").empty());

    // The country list reads alphabetically whatever the case.
    EXPECT_TRUE(CountryListsBefore("austria", "Germany"));
    EXPECT_FALSE(CountryListsBefore("Germany", "austria"));
    EXPECT_TRUE(CountryListsBefore("Germany", "germany"));
}

TEST(StationLayout, AUtf8CatalogueSortsCountriesByUnicodeCaseFolding)
{
    // Japan, austria, Bulgaria in Cyrillic: by bytes, or with only ASCII folded, the capitals
    // of the second half of the alphabet would come before every lower-case name.
    const QByteArray japan = "\xD0\xAF\xD0\xBF\xD0\xBE\xD0\xBD\xD0\xB8\xD1\x8F";
    const QByteArray austria = "\xD0\xB0\xD0\xB2\xD1\x81\xD1\x82\xD1\x80\xD0\xB8\xD1\x8F";
    const QByteArray bulgaria = "\xD0\x91\xD0\xBE\xD0\xBB\xD0\xB3\xD0\xB0\xD1\x80\xD0\xB8\xD1\x8F";
    std::vector<QByteArray> countries{japan, "Zambia", austria, "germany", bulgaria, "Austria"};
    SortCountries(countries, TextEncoding::Utf8);
    EXPECT_EQ(countries,
              (std::vector<QByteArray>{"Austria", "germany", "Zambia", austria, bulgaria, japan}));
    // Ж and ж fold alike; the bytes break the tie, capital first.
    EXPECT_TRUE(CountryListsBefore("\xD0\x96", "\xD0\xB6", TextEncoding::Utf8));
    EXPECT_FALSE(CountryListsBefore("\xD0\xB6", "\xD0\x96", TextEncoding::Utf8));
}

TEST(StationLayout, HiddenListsHoldTheTemplateItems)
{
    const QStringList hours = StartHourItems();
    ASSERT_EQ(hours.size(), 24);
    EXPECT_EQ(hours.front(), QStringLiteral("00:00"));
    EXPECT_EQ(hours.back(), QStringLiteral("23:00"));
    const QStringList counts = HourCountItems();
    ASSERT_EQ(counts.size(), 24);
    EXPECT_EQ(counts[0], QStringLiteral("01 hour"));
    EXPECT_EQ(counts[1], QStringLiteral("02 hours"));
    EXPECT_EQ(counts[23], QStringLiteral("24 hours"));
}

TEST(StationLayout, PageButtonsOpenTheVendorsPages)
{
    const ContentServer server("http://127.0.0.1:9/", "3.0");
    const struct
    {
        int id;
        const char* address;
    } cases[] = {
        {kIdShopping, "http://127.0.0.1:9/wavelark/shopping.php"},
        {kIdContact, "http://127.0.0.1:9/wavelark/contact.php"},
        {kIdWebsite, "http://127.0.0.1:9/wavelark/index.php"},
        {kIdHelp, "http://127.0.0.1:9/wavelark/support.php"},
        {kIdDownload, "http://127.0.0.1:9/wavelark/download.php"},
        {kIdUpgrade, "http://127.0.0.1:9/wavelark/color.php"},
        {kIdWatchTv, "http://127.0.0.1:9/wavelark/watchtv.php"},
        {kIdHide, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WebPageAddress(server, c.id), c.address) << c.id;
}

TEST(StationLayout, GeometryOfTheNormalAndTheWidenedWindow)
{
    // 345 x 705 rounds up to 346 x 706.
    EXPECT_EQ(SavedClientRectFrom(QRect(0, 0, 345, 705)), QRect(0, 0, 346, 706));
    EXPECT_EQ(SavedClientRectFrom(QRect(0, 0, 344, 704)), QRect(0, 0, 344, 704));

    const QRect saved(0, 0, 346, 706);
    EXPECT_EQ(WidenedWindowRect(saved, QSize(1280, 1024)), QRect(0, 159, 1280, 706));
    // A screen lower than the window: the division truncates toward zero.
    EXPECT_EQ(WidenedWindowRect(saved, QSize(800, 601)), QRect(0, -52, 800, 706));

    // The page runs from the normal area's right edge to 10 pixels before the screen's edge,
    // along the sizing strip from 4 below its top to 2 below its bottom.
    const QRect strip(334, 24, 12, 675);
    EXPECT_EQ(WebPageRect(saved, strip, QSize(1280, 1024)), QRect(346, 28, 924, 673));
}
