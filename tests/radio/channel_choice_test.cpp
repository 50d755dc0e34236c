#include "radio/ChannelChoice.h"

#include <gtest/gtest.h>
#include <set>

namespace {

ChannelList MakeList(int count, int available = 1)
{
    ChannelList list;
    list.count = count;
    for (int i = 0; i < count; ++i) {
        ChannelRecord record;
        record.name = "Channel " + QByteArray::number(i);
        record.position = i;
        record.available = available;
        list.records.push_back(record);
    }
    return list;
}

LocalClock FixedClock(int minutes, int seconds)
{
    return [=] { return ClockReading{minutes, seconds}; };
}

} // namespace

TEST(RandomPick, TwoHundredRecordsOnlyReachThirtyFourToOneFiftyThreeButNeverOneFifty)
{
    const ChannelList list = MakeList(200);
    std::set<int> reached;
    for (int minutes = 0; minutes < 60; ++minutes)
        for (int seconds = 0; seconds < 60; ++seconds)
            reached.insert(PickRandomChannel(list, FixedClock(minutes, seconds)));

    EXPECT_EQ(*reached.begin(), 34);
    EXPECT_EQ(*reached.rbegin(), 153);
    EXPECT_EQ(reached.count(150), 0u);
    EXPECT_EQ(reached.size(), 119u);
}

TEST(RandomPick, FollowsTheClockFormula)
{
    const ChannelList list = MakeList(40);
    struct Case
    {
        int minutes, seconds, expected;
    } cases[] = {
        {0, 0, 37},   // (0 ^ 3) + 1234 = 1237
        {10, 20, 23}, // (30 ^ 3) + 1234 = 1263
        {59, 59, 31}, // (118 ^ 3) + 1234 = 1351
        {0, 1, 36},   // (1 ^ 3) + 1234 = 1236
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.minutes << ":" << c.seconds);
        EXPECT_EQ(PickRandomChannel(list, FixedClock(c.minutes, c.seconds)), c.expected);
    }
}

TEST(RandomPick, SkipsToTheRecordALaterClockSecondWouldHit)
{
    // At 0:00 the clock points at 37; a second later at 36.
    ChannelList list = MakeList(40);
    list.records[37].available = 0;
    EXPECT_EQ(PickRandomChannel(list, FixedClock(0, 0)), 36);
}

TEST(RandomPick, GivesUpWhenNoReachableRecordIsAvailable)
{
    EXPECT_EQ(PickRandomChannel(MakeList(40, 0), FixedClock(12, 34)), -1);
    EXPECT_EQ(PickRandomChannel(MakeList(0), FixedClock(0, 0)), -1);

    // Record 150 of 200 is available but the formula can never reach it.
    ChannelList list = MakeList(200, 0);
    list.records[150].available = 1;
    EXPECT_EQ(PickRandomChannel(list, FixedClock(0, 0)), -1);
}

TEST(ChannelChoice, ByNameTakesTheFirstExactMatchElseTheFirstRecord)
{
    ChannelList list = MakeList(4);
    list.records[2].name = "Jazz";
    list.records[3].name = "Jazz";
    const LocalClock clock = FixedClock(0, 0);
    EXPECT_EQ(ChooseChannel(list, "Jazz", PlayMode::ByName, clock), 2);
    EXPECT_EQ(ChooseChannel(list, "jazz", PlayMode::ByName, clock), 0);
    EXPECT_EQ(ChooseChannel(list, "Gone", PlayMode::ByName, clock), 0);
    EXPECT_EQ(ChooseChannel(ChannelList(), "Jazz", PlayMode::ByName, clock), -1);
    EXPECT_EQ(ChooseChannel(list, "random", PlayMode::Random, clock), 1); // 1237 % 4
}
