#include "radio/SleepTimer.h"

#include <algorithm>

SleepTimer::SleepTimer(WallClock clock, QObject* parent)
    : QObject(parent), m_clock(std::move(clock))
{
    m_timer.setInterval(kLookInterval);
    connect(&m_timer, &QTimer::timeout, this, &SleepTimer::Tick);
}

void SleepTimer::Choose(int minutes)
{
    if (std::find(kChoices.begin(), kChoices.end(), minutes) == kChoices.end())
        minutes = 0;
    m_deadline = minutes > 0 ? m_clock().addSecs(qint64(minutes) * 60) : QDateTime();
    if (minutes > 0)
        m_timer.start();
    else
        m_timer.stop();
    if (minutes != m_minutes) {
        m_minutes = minutes;
        Q_EMIT ChoiceChanged(minutes);
    }
    UpdateToolTipLine();
}

int SleepTimer::MinutesLeft() const
{
    if (m_minutes == 0)
        return 0;
    const qint64 seconds = std::max<qint64>(0, m_clock().secsTo(m_deadline));
    return int((seconds + 59) / 60);
}

QString SleepTimer::ToolTipLine() const
{
    return m_toolTipLine;
}

void SleepTimer::UpdateToolTipLine()
{
    const QString line =
        m_minutes > 0 ? QStringLiteral("Sleep in %1 min").arg(MinutesLeft()) : QString();
    if (line == m_toolTipLine)
        return;
    m_toolTipLine = line;
    Q_EMIT ToolTipLineChanged(line);
}

void SleepTimer::Tick()
{
    if (m_minutes == 0)
        return;
    const qint64 lateMs = m_deadline.msecsTo(m_clock());
    if (lateMs < 0) {
        UpdateToolTipLine();
        return;
    }
    m_timer.stop();
    m_minutes = 0;
    m_deadline = QDateTime();
    Q_EMIT ChoiceChanged(0);
    UpdateToolTipLine();
    Q_EMIT TimeUp(lateMs);
}
