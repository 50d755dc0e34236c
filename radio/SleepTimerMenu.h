#pragma once

class QMenu;
class SleepTimer;

// The tray menu's command for a sleep timer choice is this plus its minutes (this alone: Off).
inline constexpr int kCommandSleepTimer = 1000;

// Adds "Sleep timer ▸" to `menu`: radio items "Off", "15 minutes" … "120 minutes", each
// carrying its command as its data; the choice in force is ticked and stays so while the menu
// lives (a status-notifier host keeps one menu for the whole run).
void AddSleepTimerMenu(QMenu& menu, const SleepTimer& timer);

// The minutes a tray command chooses, or -1 when it is no sleep timer command.
int SleepMinutesOfCommand(int command);
