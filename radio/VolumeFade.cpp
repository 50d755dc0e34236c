#include "radio/VolumeFade.h"

#include <algorithm>
#include <cmath>

VolumeFade::VolumeFade(WallClock clock, std::function<void(int level)> apply, QObject* parent)
    : QObject(parent), m_clock(std::move(clock)), m_apply(std::move(apply))
{
    m_timer.setInterval(kStep);
    connect(&m_timer, &QTimer::timeout, this, &VolumeFade::Tick);
}

void VolumeFade::Start(int from, int to, qint64 alreadyMs)
{
    m_from = from;
    m_to = to;
    m_elapsedMs = std::max<qint64>(0, alreadyMs);
    m_lastLook = m_clock();
    m_level = -1;
    m_running = true;
    m_timer.start();
    Tick();
}

void VolumeFade::Cancel()
{
    m_running = false;
    m_timer.stop();
}

void VolumeFade::Tick()
{
    if (!m_running)
        return;
    const QDateTime now = m_clock();
    m_elapsedMs += std::max<qint64>(0, m_lastLook.msecsTo(now));
    m_lastLook = now;
    const qint64 total = std::chrono::milliseconds(kDuration).count();
    const double part = std::min(1.0, double(m_elapsedMs) / double(total));
    const int level = int(std::lround(m_from + (m_to - m_from) * part));
    if (level != m_level) {
        m_level = level;
        if (m_apply)
            m_apply(level);
    }
    if (part < 1.0)
        return;
    Cancel();
    Q_EMIT Finished();
}
