#pragma once

#include <QDateTime>
#include <functional>

// Where the timers and the daily schedule read the time of day: the wall clock, which jumps
// forward over a suspend and follows a clock change, unlike the monotonic clock behind QTimer.
// Tests inject one they move by hand.
using WallClock = std::function<QDateTime()>;

inline QDateTime SystemWallClock()
{
    return QDateTime::currentDateTimeUtc();
}
