#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A private D-Bus session bus: its own `dbus-daemon --session` listening in a temporary folder,
// stopped (and waited for) by the destructor, and killed with the test process if that dies
// first. Tests point DBUS_SESSION_BUS_ADDRESS at it so nothing reaches the user's own bus.
class PrivateSessionBus
{
public:
    PrivateSessionBus() = default;
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // Starts the daemon and waits (at most 5 s) for its address; false when it cannot start.
    bool Start();
    void Stop();

    // The address to connect to, e.g. "unix:path=/tmp/.../bus,guid=...".
    QString Address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};
