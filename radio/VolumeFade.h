#pragma once

#include "radio/WallClock.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

// Moves a volume level (0..100, the slider's scale) from one value to another over
// kDuration, step by step, through `apply`: the player's or the chime's own level, never the
// volume the user set, so a fade leaves nothing behind in "setting.dat" or on the slider.
//
// Time is read from the wall clock and only its forward steps count: a clock set back does
// not hold the fade up for the difference, and a machine that slept through the fade finds it
// over at the first look after waking.
class VolumeFade : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds kDuration{30};
    static constexpr std::chrono::milliseconds kStep{200};

    VolumeFade(WallClock clock, std::function<void(int level)> apply, QObject* parent = nullptr);

    // Applies `from` now and moves towards `to`; `alreadyMs` of the fade count as gone (a fade
    // that should have begun before the program could look). Replaces a fade under way.
    void Start(int from, int to, qint64 alreadyMs = 0);
    // Ends the fade where it is, without Finished.
    void Cancel();
    bool IsRunning() const { return m_running; }
    // The level applied last.
    int Level() const { return m_level; }

    // Applies the level the elapsed time has reached; the step timer calls it, and tests call
    // it after moving their clock.
    void Tick();

Q_SIGNALS:
    // The fade reached its end level.
    void Finished();

private:
    WallClock m_clock;
    std::function<void(int)> m_apply;
    QTimer m_timer;
    bool m_running = false;
    int m_from = 0;
    int m_to = 0;
    int m_level = -1;
    qint64 m_elapsedMs = 0;
    QDateTime m_lastLook;
};
