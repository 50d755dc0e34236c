#include "app/StallProbe.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcStall, "wavelark.stall")

StallProbe* StallProbe::StartIfAsked(QObject* parent)
{
    return qEnvironmentVariableIsEmpty(kVariable) ? nullptr : new StallProbe(parent);
}

StallProbe::StallProbe(QObject* parent) : QObject(parent)
{
    m_clock.start();
    startTimer(kIntervalMs, Qt::PreciseTimer);
}

void StallProbe::timerEvent(QTimerEvent* /*event*/)
{
    const qint64 now = m_clock.elapsed();
    const qint64 late = now - m_lastMs - kIntervalMs;
    m_lastMs = now;
    if (late <= m_longestMs)
        return;
    m_longestMs = late;
    qCInfo(lcStall) << "longest window-thread stall so far:" << late << "ms at" << now << "ms";
}
