#include "radio/SleepTimerMenu.h"

#include "radio/SleepTimer.h"

#include <QActionGroup>
#include <QMenu>

void AddSleepTimerMenu(QMenu& menu, const SleepTimer& timer)
{
    QMenu* sleep = menu.addMenu(QStringLiteral("Sleep timer"));
    auto* group = new QActionGroup(sleep);
    group->setExclusive(true);
    const auto add = [&](int minutes, const QString& text) {
        QAction* action = sleep->addAction(text);
        action->setCheckable(true);
        action->setData(kCommandSleepTimer + minutes);
        action->setChecked(timer.Minutes() == minutes);
        group->addAction(action);
    };
    add(0, QStringLiteral("Off"));
    for (const int minutes : SleepTimer::kChoices)
        add(minutes, QStringLiteral("%1 minutes").arg(minutes));
    QObject::connect(&timer, &SleepTimer::ChoiceChanged, sleep, [sleep](int minutes) {
        for (QAction* action : sleep->actions())
            action->setChecked(action->data().toInt() == kCommandSleepTimer + minutes);
    });
}

int SleepMinutesOfCommand(int command)
{
    const int minutes = command - kCommandSleepTimer;
    if (minutes == 0)
        return 0;
    for (const int choice : SleepTimer::kChoices) {
        if (choice == minutes)
            return minutes;
    }
    return -1;
}
