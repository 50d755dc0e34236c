#pragma once

#include "radio/WallClock.h"

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimeZone>
#include <QTimer>
#include <chrono>

struct SettingsValues;

// The daily play time of the radio window's "Playtime" group: from a start hour for a number
// of hours, every day. Times are the wall clock's in the local time zone.

// One day's play time, [start, end).
struct PlaytimeWindow
{
    QDateTime start;
    QDateTime end;

    bool IsValid() const { return start.isValid(); }
    bool operator==(const PlaytimeWindow& other) const
    {
        return start == other.start && end == other.end;
    }
};

// The first instant of `date` at which the clocks of `zone` read `hour`:00 or later. On the day
// the clocks go forward an hour that does not exist begins when the clocks jump past it; on
// the day they go back an hour that comes twice begins at its first coming.
QDateTime HourStart(QDate date, int hour, const QTimeZone& zone);

// The play time that holds `now`, or an invalid window. `hours` is 1..24; a window runs that
// many hours of real time from its start.
PlaytimeWindow WindowAt(const QDateTime& now, int startHour, int hours, const QTimeZone& zone);

// "Playtime 07:00–09:00".
QString PlaytimeToolTipLine(int startHour, int hours);

// Follows the clock through the daily play time: says when a play time begins and when it
// ends, also after a suspend or a clock change (it looks every kLookInterval, so a boundary
// is met within that). Set from "setting.dat": a ticked "Non-stop" (or a list without a
// selection) means no schedule.
class PlaytimeSchedule : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds kLookInterval{5};

    explicit PlaytimeSchedule(WallClock clock = SystemWallClock, QObject* parent = nullptr);

    // Tests pin the zone; the program uses the system's.
    void SetTimeZone(const QTimeZone& zone) { m_zone = zone; }

    // Takes the schedule from the settings. With `announce`, a changed schedule whose play time
    // holds the present says so (WindowBegan) at once; without, the present play time is taken
    // as it is, which is how a start inside it plays without a fade.
    void Apply(const SettingsValues& values, bool announce);
    bool IsSet() const { return m_set; }
    int StartHour() const { return m_startHour; }
    int Hours() const { return m_hours; }
    // Whether the clock is inside a play time now; false without a schedule.
    bool InWindowNow() const;
    // "Playtime 07:00–09:00" while a schedule is set, else empty.
    QString ToolTipLine() const;

    // Looks at the clock: the timer calls it, tests call it after moving their clock.
    void Tick();

Q_SIGNALS:
    // A play time began `lateMs` ago (0 on time; more after a suspend).
    void WindowBegan(qint64 lateMs);
    // A play time ended `lateMs` ago.
    void WindowEnded(qint64 lateMs);
    // ToolTipLine() changed.
    void ToolTipLineChanged(const QString& line);

private:
    PlaytimeWindow WindowNow() const;

    WallClock m_clock;
    QTimeZone m_zone = QTimeZone::systemTimeZone();
    QTimer m_timer;
    bool m_set = false;
    int m_startHour = 0;
    int m_hours = 1;
    // The play time the clock was in at the last look.
    PlaytimeWindow m_window;
};
