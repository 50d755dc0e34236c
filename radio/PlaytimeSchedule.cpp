#include "radio/PlaytimeSchedule.h"

#include "radio/SettingsFile.h"

#include <QLoggingCategory>
#include <algorithm>
#include <optional>

Q_LOGGING_CATEGORY(lcPlaytime, "wavelark.playtime")

namespace {

constexpr qint64 kSecondsPerDay = 24 * 3600;

// The wall-clock reading of instant `t` in `zone`, counted as seconds as if it were UTC.
qint64 WallSecondsAt(qint64 t, const QTimeZone& zone)
{
    return t + zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(t, Qt::UTC));
}

} // namespace

QDateTime HourStart(QDate date, int hour, const QTimeZone& zone)
{
    const qint64 wall = QDateTime(date, QTime(hour, 0), Qt::UTC).toSecsSinceEpoch();
    // The offsets in force around that day; a day has at most one change.
    const int before =
        zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(wall - kSecondsPerDay, Qt::UTC));
    const int after =
        zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(wall + kSecondsPerDay, Qt::UTC));
    std::optional<qint64> first;
    for (const int offset : {before, after}) {
        const qint64 t = wall - offset;
        if (WallSecondsAt(t, zone) == wall && (!first || t < *first))
            first = t;
    }
    if (!first) {
        // The hour falls in the gap of a jump forward: the first instant whose reading is later
        // is the jump itself, somewhere between the two readings.
        qint64 low = wall - std::max(before, after);
        qint64 high = wall - std::min(before, after);
        for (int step = 0; step < 64 && low < high; ++step) {
            const qint64 middle = low + (high - low) / 2;
            if (WallSecondsAt(middle, zone) >= wall)
                high = middle;
            else
                low = middle + 1;
        }
        first = high;
    }
    return QDateTime::fromSecsSinceEpoch(*first, zone);
}

PlaytimeWindow WindowAt(const QDateTime& now, int startHour, int hours, const QTimeZone& zone)
{
    const QDate today = now.toTimeZone(zone).date();
    PlaytimeWindow found;
    // A window of up to 24 hours that holds now began today or yesterday; the later start wins
    // where two overlap.
    for (const QDate day : {today.addDays(-1), today}) {
        const QDateTime start = HourStart(day, startHour, zone);
        const QDateTime end = start.addSecs(qint64(hours) * 3600);
        if (start <= now && now < end)
            found = {start, end};
    }
    return found;
}

QString PlaytimeToolTipLine(int startHour, int hours)
{
    return QStringLiteral("Playtime %1:00\u2013%2:00")
        .arg(startHour, 2, 10, QLatin1Char('0'))
        .arg((startHour + hours) % 24, 2, 10, QLatin1Char('0'));
}

PlaytimeSchedule::PlaytimeSchedule(WallClock clock, QObject* parent)
    : QObject(parent), m_clock(std::move(clock))
{
    m_timer.setInterval(kLookInterval);
    connect(&m_timer, &QTimer::timeout, this, &PlaytimeSchedule::Tick);
}

void PlaytimeSchedule::Apply(const SettingsValues& values, bool announce)
{
    // The lists hold 24 items each: the start hours 00:00 … 23:00 and 1 … 24 hours.
    const bool set = values.nonStop < 1 && values.startHour >= 0 && values.startHour < 24 &&
                     values.hours >= 0 && values.hours < 24;
    const int startHour = set ? values.startHour : 0;
    const int hours = set ? values.hours + 1 : 1;
    const bool changed = set != m_set || startHour != m_startHour || hours != m_hours;
    if (!changed)
        return;
    const QString lineBefore = ToolTipLine();
    m_set = set;
    m_startHour = startHour;
    m_hours = hours;
    if (set) {
        qCInfo(lcPlaytime).noquote() << "daily play time" << ToolTipLine();
        m_timer.start();
    } else {
        qCInfo(lcPlaytime) << "no daily play time";
        m_timer.stop();
    }
    m_window = announce ? PlaytimeWindow() : WindowNow();
    if (ToolTipLine() != lineBefore)
        Q_EMIT ToolTipLineChanged(ToolTipLine());
    if (announce)
        Tick();
}

PlaytimeWindow PlaytimeSchedule::WindowNow() const
{
    if (!m_set)
        return {};
    return WindowAt(m_clock(), m_startHour, m_hours, m_zone);
}

bool PlaytimeSchedule::InWindowNow() const
{
    return WindowNow().IsValid();
}

QString PlaytimeSchedule::ToolTipLine() const
{
    return m_set ? PlaytimeToolTipLine(m_startHour, m_hours) : QString();
}

void PlaytimeSchedule::Tick()
{
    if (!m_set)
        return;
    const QDateTime now = m_clock();
    const PlaytimeWindow window = WindowAt(now, m_startHour, m_hours, m_zone);
    if (window == m_window)
        return;
    const PlaytimeWindow previous = m_window;
    m_window = window;
    // One play time running straight into the next (24 hours a day) never ends.
    if (previous.IsValid() && !(window.IsValid() && window.start <= previous.end)) {
        qCInfo(lcPlaytime) << "play time ended";
        Q_EMIT WindowEnded(std::max<qint64>(0, previous.end.msecsTo(now)));
    }
    if (window.IsValid() && !(previous.IsValid() && window.start <= previous.end)) {
        qCInfo(lcPlaytime) << "play time began";
        Q_EMIT WindowBegan(std::max<qint64>(0, window.start.msecsTo(now)));
    }
}
