#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>

// Desktop notifications of new stream titles through org.freedesktop.Notifications: app name
// "Wavelark", the program's icon, the title as summary and the channel as body. Each one
// replaces the one before (its id), at most one per kInterval: a title that comes sooner waits,
// and only the newest waiting one is shown when the interval is over. A title equal to the
// channel's name is no news. The calls are asynchronous: without a bus or a notification
// service nothing is shown and nothing waits.
class TitleNotifier : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::seconds kInterval{10};
    // How long the bus may take to answer before the call is given up (it never blocks).
    static constexpr int kCallTimeoutMs = 5000;

    // `bus` may be a connection that is not connected.
    explicit TitleNotifier(QDBusConnection bus, QObject* parent = nullptr);

    void SetEnabled(bool enabled);
    bool IsEnabled() const { return m_enabled; }
    void SetClock(Clock clock) { m_clock = std::move(clock); }

    // A new title on `channel`.
    void Offer(const QString& title, const QString& channel);
    // Shows the waiting title when its interval is over; the timer calls this.
    void SendDue();

    // The id the service gave the last notification; 0 before any.
    uint LastId() const { return m_lastId; }

Q_SIGNALS:
    // The service answered a notification with its id.
    void Shown(uint id);

private:
    void Send(const QString& title, const QString& channel);

    QDBusConnection m_bus;
    Clock m_clock;
    bool m_enabled = false;
    uint m_lastId = 0;
    std::optional<std::chrono::steady_clock::time_point> m_sentAt;
    std::optional<std::pair<QString, QString>> m_waiting;
    QTimer m_timer;
};
