// The sleep timer and the volume fade on a clock the test moves: the deadline, the tool tip's
// line, a suspend that jumps the clock past the deadline, and the fade's levels.

#include "radio/FakeWallClock.h"
#include "radio/SleepTimer.h"
#include "radio/SleepTimerMenu.h"
#include "radio/VolumeFade.h"

#include <QMenu>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <vector>

namespace {

const QDateTime kEvening(QDate(2026, 12, 11), QTime(22, 0), Qt::UTC);

TEST(SleepTimer, CountsDownInWholeMinutesAndIsUpAtTheDeadline)
{
    FakeWallClock clock(kEvening);
    SleepTimer timer(clock.Clock());
    QSignalSpy up(&timer, &SleepTimer::TimeUp);
    timer.Choose(15);
    EXPECT_EQ(timer.Minutes(), 15);
    EXPECT_EQ(timer.ToolTipLine(), QStringLiteral("Sleep in 15 min"));

    const struct
    {
        qint64 secondsFromStart;
        const char* line;
    } looks[] = {{1, "Sleep in 15 min"},
                 {60, "Sleep in 14 min"},
                 {14 * 60 + 1, "Sleep in 1 min"},
                 {15 * 60 - 1, "Sleep in 1 min"}};
    for (const auto& look : looks) {
        clock.Set(kEvening.addSecs(look.secondsFromStart));
        timer.Tick();
        EXPECT_EQ(timer.ToolTipLine(), QString::fromUtf8(look.line)) << look.secondsFromStart;
    }
    EXPECT_EQ(up.count(), 0);

    clock.Set(kEvening.addSecs(15 * 60));
    timer.Tick();
    ASSERT_EQ(up.count(), 1);
    EXPECT_EQ(up.at(0).at(0).toLongLong(), 0);
    EXPECT_EQ(timer.Minutes(), 0);
    EXPECT_TRUE(timer.ToolTipLine().isEmpty());
    // Once only.
    clock.Advance(60);
    timer.Tick();
    EXPECT_EQ(up.count(), 1);
}

TEST(SleepTimer, AMachineWakingAfterTheDeadlineFindsTheTimeUpAtOnce)
{
    FakeWallClock clock(kEvening);
    SleepTimer timer(clock.Clock());
    QSignalSpy up(&timer, &SleepTimer::TimeUp);
    timer.Choose(30);
    // Suspended for two hours: the monotonic clock stood still, the wall clock did not.
    clock.Advance(2 * 3600);
    timer.Tick();
    ASSERT_EQ(up.count(), 1);
    EXPECT_EQ(up.at(0).at(0).toLongLong(), 90 * 60 * 1000LL);
}

TEST(SleepTimer, OffOrANewChoiceReplacesTheDeadline)
{
    FakeWallClock clock(kEvening);
    SleepTimer timer(clock.Clock());
    QSignalSpy up(&timer, &SleepTimer::TimeUp);
    QSignalSpy choice(&timer, &SleepTimer::ChoiceChanged);

    timer.Choose(15);
    clock.Advance(10 * 60);
    timer.Choose(30); // from now, not from the first choice
    clock.Advance(20 * 60);
    timer.Tick();
    EXPECT_EQ(up.count(), 0);
    EXPECT_EQ(timer.ToolTipLine(), QStringLiteral("Sleep in 10 min"));

    timer.Choose(0);
    clock.Advance(3600);
    timer.Tick();
    EXPECT_EQ(up.count(), 0);
    EXPECT_TRUE(timer.ToolTipLine().isEmpty());
    // A value the menu does not offer is Off.
    timer.Choose(7);
    EXPECT_EQ(timer.Minutes(), 0);
    EXPECT_EQ(choice.count(), 3); // 15, 30, 0
}

TEST(SleepTimer, TheMenuTicksTheChoiceInForceAndNamesItsCommands)
{
    FakeWallClock clock(kEvening);
    SleepTimer timer(clock.Clock());
    QMenu menu;
    AddSleepTimerMenu(menu, timer);
    ASSERT_EQ(menu.actions().size(), 1);
    QMenu* sleep = menu.actions().at(0)->menu();
    ASSERT_NE(sleep, nullptr);
    EXPECT_EQ(menu.actions().at(0)->text(), QStringLiteral("Sleep timer"));
    QStringList texts;
    QString ticked;
    for (QAction* action : sleep->actions()) {
        texts << action->text();
        if (action->isChecked())
            ticked = action->text();
    }
    QStringList expected{QStringLiteral("Off")};
    for (const int minutes : {15, 30, 45, 60, 90, 120})
        expected << QStringLiteral("%1 minutes").arg(minutes);
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(ticked, QStringLiteral("Off"));

    timer.Choose(45);
    for (QAction* action : sleep->actions())
        EXPECT_EQ(action->isChecked(), action->text() == QStringLiteral("45 minutes"));

    for (QAction* action : sleep->actions()) {
        const int minutes = SleepMinutesOfCommand(action->data().toInt());
        EXPECT_EQ(minutes == 0 ? QStringLiteral("Off") : QStringLiteral("%1 minutes").arg(minutes),
                  action->text());
    }
    EXPECT_EQ(SleepMinutesOfCommand(158), -1);
    EXPECT_EQ(SleepMinutesOfCommand(kCommandSleepTimer + 7), -1);
}

TEST(VolumeFade, MovesTheLevelOverThirtySecondsOnTheWallClock)
{
    FakeWallClock clock(kEvening);
    std::vector<int> applied;
    VolumeFade fade(clock.Clock(), [&applied](int level) { applied.push_back(level); });
    QSignalSpy finished(&fade, &VolumeFade::Finished);

    fade.Start(60, 0);
    EXPECT_EQ(applied, std::vector<int>{60});
    clock.Advance(15);
    fade.Tick();
    EXPECT_EQ(applied.back(), 30);
    // A clock set back an hour neither undoes the fade nor holds it up for an hour.
    clock.Advance(-3600);
    fade.Tick();
    EXPECT_EQ(applied.back(), 30);
    clock.Advance(10);
    fade.Tick();
    EXPECT_EQ(applied.back(), 10);
    EXPECT_EQ(finished.count(), 0);
    clock.Advance(5);
    fade.Tick();
    EXPECT_EQ(applied.back(), 0);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(fade.IsRunning());
}

TEST(VolumeFade, AFadeDueLongAgoEndsAtTheFirstLookAndACancelledOneStaysSilent)
{
    FakeWallClock clock(kEvening);
    std::vector<int> applied;
    VolumeFade fade(clock.Clock(), [&applied](int level) { applied.push_back(level); });
    QSignalSpy finished(&fade, &VolumeFade::Finished);

    fade.Start(0, 80, 45000);
    EXPECT_EQ(applied, std::vector<int>{80});
    EXPECT_EQ(finished.count(), 1);

    applied.clear();
    fade.Start(0, 80);
    fade.Cancel();
    clock.Advance(40);
    fade.Tick();
    EXPECT_EQ(applied, std::vector<int>{0});
    EXPECT_EQ(finished.count(), 1);
}

} // namespace
