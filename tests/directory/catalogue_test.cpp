#include "directory/ChannelCatalogue.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

ChannelList ListOf(const std::vector<QByteArray>& names)
{
    ChannelList list;
    for (const QByteArray& name : names) {
        ChannelRecord record;
        record.name = name;
        record.infoText = name + QByteArrayLiteral(" info ") + QByteArray::number(list.count);
        record.position = list.count;
        record.available = 1;
        list.records.push_back(record);
        ++list.count;
    }
    return list;
}

struct LookupCase
{
    const char* name;
    int expected;
};

TEST(ChannelCatalogue, FindChannelByNameMatchesExactBytesAndTakesTheFirst)
{
    const ChannelList list =
        ListOf({QByteArrayLiteral("Alpha"), QByteArrayLiteral("Beta"), QByteArrayLiteral("alpha"),
                QByteArrayLiteral("Beta"), QByteArrayLiteral("Gamma Radio"),
                QByteArrayLiteral("Bergstra\xDF"
                                  "e Oldies")});
    const LookupCase cases[] = {
        {"Alpha", 0},
        {"alpha", 2}, // letter case makes a different channel
        {"ALPHA", -1},
        {"Beta", 1},          // the duplicate at index 3 is never found
        {"Gamma", -1},        // a prefix is not the name
        {"Gamma Radio ", -1}, // neither is a longer text
        {"amma Radio", -1},
        {"", -1},
        {"Bergstra\xDF"
         "e Oldies",
         5},
        {"Bergstra\xC3\x9F"
         "e Oldies",
         -1}, // the same word in another encoding is another name
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FindChannelByName(list, QByteArray(c.name)), c.expected);
    }
    EXPECT_EQ(FindChannelByName(ChannelList(), QByteArrayLiteral("Alpha")), -1);
}

TEST(ChannelCatalogue, InfoTextForNameFollowsTheLookup)
{
    const ChannelList list =
        ListOf({QByteArrayLiteral("Beta"), QByteArrayLiteral("Beta"), QByteArrayLiteral("beta")});
    EXPECT_EQ(InfoTextForName(list, QByteArrayLiteral("Beta")), QByteArrayLiteral("Beta info 0"));
    EXPECT_EQ(InfoTextForName(list, QByteArrayLiteral("beta")), QByteArrayLiteral("beta info 2"));
    const QByteArray missing = InfoTextForName(list, QByteArrayLiteral("BETA"));
    EXPECT_TRUE(missing.isEmpty());
    EXPECT_TRUE(InfoTextForName(ChannelList(), QByteArrayLiteral("Beta")).isEmpty());
}

struct AvailabilityCase
{
    const char* label;
    QByteArray flags;
    std::vector<qint32> expected;
};

TEST(ChannelCatalogue, ApplyAvailabilitySetsEveryRecordFromItsFlag)
{
    const AvailabilityCase cases[] = {
        {"empty text: nothing offered", QByteArray(), {0, 0, 0, 0}},
        {"shorter text", QByteArrayLiteral("1"), {1, 0, 0, 0}},
        {"101 on four", QByteArrayLiteral("101"), {1, 0, 1, 0}},
        {"all four", QByteArrayLiteral("1111"), {1, 1, 1, 1}},
        {"longer text ignored past the list", QByteArrayLiteral("01101111"), {0, 1, 1, 0}},
        {"only the digit one counts", QByteArrayLiteral("2 y1"), {0, 0, 0, 1}},
        {"a zero byte is not one",
         QByteArray("1\0"
                    "11",
                    4),
         {1, 0, 1, 1}},
    };
    for (const AvailabilityCase& c : cases) {
        SCOPED_TRACE(c.label);
        ChannelList list = ListOf({QByteArrayLiteral("A"), QByteArrayLiteral("B"),
                                   QByteArrayLiteral("C"), QByteArrayLiteral("D")});
        list.records[1].available = 7; // a stale value must be overwritten, not kept
        ApplyAvailability(list, c.flags);
        ASSERT_EQ(list.records.size(), c.expected.size());
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(list.records[i].available, c.expected[i]);
        }
    }
    ChannelList empty;
    ApplyAvailability(empty, QByteArrayLiteral("111"));
    EXPECT_TRUE(empty.records.empty());
}

} // namespace
