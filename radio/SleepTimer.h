#pragma once

#include "radio/WallClock.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <chrono>

// The sleep timer: a deadline on the wall clock, so that a machine that wakes from a suspend
// after the time finds it up at the first look. Not kept between runs.
class SleepTimer : public QObject
{
    Q_OBJECT

public:
    // The choices the tray menu offers besides "Off", in minutes.
    static constexpr std::array<int, 6> kChoices{15, 30, 45, 60, 90, 120};
    static constexpr std::chrono::seconds kLookInterval{1};

    explicit SleepTimer(WallClock clock, QObject* parent = nullptr);

    // Sets the timer to `minutes` from now; 0 (or any value not among kChoices) turns it off.
    void Choose(int minutes);
    // The choice in force: 0 while off.
    int Minutes() const { return m_minutes; }
    // Whole minutes left, rounded up; 0 while off.
    int MinutesLeft() const;
    // "Sleep in N min" while the timer runs, else empty.
    QString ToolTipLine() const;

    // Looks at the clock: the timer's step calls it, tests call it after moving their clock.
    void Tick();

Q_SIGNALS:
    // The time is up, `lateMs` after the deadline (long after a suspend); the timer is off.
    void TimeUp(qint64 lateMs);
    // Minutes() changed.
    void ChoiceChanged(int minutes);
    // ToolTipLine() changed.
    void ToolTipLineChanged(const QString& line);

private:
    void UpdateToolTipLine();

    WallClock m_clock;
    QTimer m_timer;
    int m_minutes = 0;
    QDateTime m_deadline;
    QString m_toolTipLine;
};
