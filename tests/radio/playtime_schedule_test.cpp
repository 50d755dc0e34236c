// The daily play time on a clock the test moves: where an hour begins on the days the clocks
// change, which play time holds a moment, and when the schedule says a play time began or
// ended, also across a suspend or a clock change.

#include "radio/FakeWallClock.h"
#include "radio/PlaytimeSchedule.h"
#include "radio/SettingsFile.h"

#include <QSignalSpy>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

const QTimeZone kBerlin("Europe/Berlin");

QDateTime Utc(int month, int day, int hour, int minute = 0, int second = 0)
{
    return QDateTime(QDate(2026, month, day), QTime(hour, minute, second), Qt::UTC);
}

SettingsValues Schedule(int startHour, int hoursIndex, int nonStop = 0)
{
    SettingsValues values;
    values.nonStop = nonStop;
    values.startHour = startHour;
    values.hours = hoursIndex;
    return values;
}

TEST(PlaytimeHours, BeginWhereTheClocksFirstReadThem)
{
    ASSERT_TRUE(kBerlin.isValid());
    const struct
    {
        QDate date;
        int hour;
        QDateTime expected;
    } cases[] = {
        // Winter time, UTC+1.
        {QDate(2026, 12, 11), 7, Utc(12, 11, 6)},
        {QDate(2026, 12, 11), 0, Utc(12, 10, 23)},
        // 29 March: 02:00 does not exist, the clocks jump from 02:00 to 03:00 at 01:00 UTC.
        {QDate(2026, 3, 29), 1, Utc(3, 29, 0)},
        {QDate(2026, 3, 29), 2, Utc(3, 29, 1)},
        {QDate(2026, 3, 29), 3, Utc(3, 29, 1)},
        {QDate(2026, 3, 29), 4, Utc(3, 29, 2)},
        // 25 October: 02:00 to 03:00 comes twice, first in summer time (UTC+2).
        {QDate(2026, 10, 25), 2, Utc(10, 25, 0)},
        {QDate(2026, 10, 25), 3, Utc(10, 25, 2)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HourStart(c.date, c.hour, kBerlin).toUTC(), c.expected)
            << c.date.toString(Qt::ISODate).toStdString() << " " << c.hour;
}

TEST(PlaytimeHours, AWindowHoldsTheHoursFromItsStart)
{
    const QTimeZone utc(0);
    const struct
    {
        QDateTime now;
        int startHour;
        int hours;
        bool inside;
    } cases[] = {
        {Utc(12, 11, 6, 59, 59), 7, 1, false},
        {Utc(12, 11, 7), 7, 1, true},
        {Utc(12, 11, 7, 59, 59), 7, 1, true},
        {Utc(12, 11, 8), 7, 1, false},
        // Past midnight: the window that began yesterday.
        {Utc(12, 11, 1), 23, 3, true},
        {Utc(12, 11, 2), 23, 3, false},
        {Utc(12, 11, 22, 59), 23, 3, false},
        {Utc(12, 11, 6), 7, 24, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WindowAt(c.now, c.startHour, c.hours, utc).IsValid(), c.inside)
            << c.now.toString(Qt::ISODate).toStdString() << " " << c.startHour << "+" << c.hours;
}

TEST(PlaytimeHours, TheToolTipLineNamesStartAndEnd)
{
    EXPECT_EQ(PlaytimeToolTipLine(7, 2), QStringLiteral("Playtime 07:00\u201309:00"));
    EXPECT_EQ(PlaytimeToolTipLine(23, 2), QStringLiteral("Playtime 23:00\u201301:00"));
    EXPECT_EQ(PlaytimeToolTipLine(0, 24), QStringLiteral("Playtime 00:00\u201300:00"));
}

// Moves the clock from `from` to `to` in `step` seconds, looking at every step as the timer
// would.
void Walk(FakeWallClock& clock, PlaytimeSchedule& schedule, const QDateTime& to, int step = 5)
{
    while (clock.Now() < to) {
        clock.Advance(step);
        schedule.Tick();
    }
}

TEST(PlaytimeScheduleTest, BeginsAndEndsOnTimeAndIsSetOnlyWithoutNonStop)
{
    FakeWallClock clock(Utc(12, 11, 6, 59, 50));
    PlaytimeSchedule schedule(clock.Clock());
    schedule.SetTimeZone(QTimeZone(0));
    QSignalSpy began(&schedule, &PlaytimeSchedule::WindowBegan);
    QSignalSpy ended(&schedule, &PlaytimeSchedule::WindowEnded);

    schedule.Apply(Schedule(7, 0, 1), false);
    EXPECT_FALSE(schedule.IsSet());
    EXPECT_TRUE(schedule.ToolTipLine().isEmpty());
    schedule.Apply(Schedule(7, -1), false);
    EXPECT_FALSE(schedule.IsSet());

    schedule.Apply(Schedule(7, 0), false);
    ASSERT_TRUE(schedule.IsSet());
    EXPECT_EQ(schedule.ToolTipLine(), QStringLiteral("Playtime 07:00\u201308:00"));
    EXPECT_FALSE(schedule.InWindowNow());
    Walk(clock, schedule, Utc(12, 11, 6, 59, 55));
    EXPECT_EQ(began.count(), 0);
    Walk(clock, schedule, Utc(12, 11, 7, 0, 0));
    ASSERT_EQ(began.count(), 1);
    EXPECT_EQ(began.at(0).at(0).toLongLong(), 0);
    Walk(clock, schedule, Utc(12, 11, 7, 59, 55));
    EXPECT_EQ(ended.count(), 0);
    Walk(clock, schedule, Utc(12, 11, 8, 0, 0));
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(began.count(), 1);
}

TEST(PlaytimeScheduleTest, OnTheDaysTheClocksChangeEachPlayTimeBeginsOnce)
{
    const struct
    {
        QDateTime from;
        QDateTime to;
        int startHour;
        QDateTime beginsAt;
    } cases[] = {
        // Spring: 02:00 does not exist; the play time begins when the clocks read 03:00.
        {Utc(3, 28, 23), Utc(3, 29, 5), 2, Utc(3, 29, 1)},
        // Autumn: 02:00 comes twice; the play time begins at the first and not again.
        {Utc(10, 24, 22), Utc(10, 25, 5), 2, Utc(10, 25, 0)},
    };
    for (const auto& c : cases) {
        FakeWallClock clock(c.from);
        PlaytimeSchedule schedule(clock.Clock());
        schedule.SetTimeZone(kBerlin);
        schedule.Apply(Schedule(c.startHour, 0), false);
        QDateTime beganAt;
        int began = 0;
        int ended = 0;
        QObject::connect(&schedule, &PlaytimeSchedule::WindowBegan, [&](qint64) {
            ++began;
            beganAt = clock.Now();
        });
        QObject::connect(&schedule, &PlaytimeSchedule::WindowEnded, [&](qint64) { ++ended; });
        Walk(clock, schedule, c.to);
        EXPECT_EQ(began, 1) << c.from.toString(Qt::ISODate).toStdString();
        EXPECT_EQ(ended, 1) << c.from.toString(Qt::ISODate).toStdString();
        EXPECT_EQ(beganAt, c.beginsAt) << c.from.toString(Qt::ISODate).toStdString();
    }
}

TEST(PlaytimeScheduleTest, AClockJumpMeetsTheBoundaryAtTheFirstLookAfterIt)
{
    FakeWallClock clock(Utc(12, 11, 6));
    PlaytimeSchedule schedule(clock.Clock());
    schedule.SetTimeZone(QTimeZone(0));
    schedule.Apply(Schedule(7, 1), false); // 07:00 for 2 hours
    QSignalSpy began(&schedule, &PlaytimeSchedule::WindowBegan);
    QSignalSpy ended(&schedule, &PlaytimeSchedule::WindowEnded);

    // Woken at 07:20: the play time began 20 minutes ago.
    clock.Set(Utc(12, 11, 7, 20));
    schedule.Tick();
    ASSERT_EQ(began.count(), 1);
    EXPECT_EQ(began.at(0).at(0).toLongLong(), 20 * 60 * 1000LL);
    // Woken at noon: it ended three hours ago.
    clock.Set(Utc(12, 11, 12));
    schedule.Tick();
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended.at(0).at(0).toLongLong(), 3 * 3600 * 1000LL);
    // Asleep through a whole play time: nothing to do on waking.
    clock.Set(Utc(12, 12, 10));
    schedule.Tick();
    EXPECT_EQ(began.count(), 1);
    EXPECT_EQ(ended.count(), 1);
}

TEST(PlaytimeScheduleTest, ANewScheduleThatHoldsThePresentBeginsAtOnceWhenAnnounced)
{
    FakeWallClock clock(Utc(12, 11, 7, 30));
    PlaytimeSchedule schedule(clock.Clock());
    schedule.SetTimeZone(QTimeZone(0));
    QSignalSpy began(&schedule, &PlaytimeSchedule::WindowBegan);
    schedule.Apply(Schedule(7, 0), false); // a start inside: taken as it is
    EXPECT_TRUE(schedule.InWindowNow());
    EXPECT_EQ(began.count(), 0);
    schedule.Apply(Schedule(7, 0), true); // unchanged: nothing
    EXPECT_EQ(began.count(), 0);
    schedule.Apply(Schedule(6, 2), true); // Hide wrote a new one
    EXPECT_EQ(began.count(), 1);
}

} // namespace
