#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

// Where the pause before a reconnect runs out. The program waits in real time; a test gives the
// keeper a timer of its own and advances it, so that no test sleeps through a pause to show
// that nothing happened.
class ReconnectTimer : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts the pause again from now; a pause already running is dropped.
    virtual void Start(std::chrono::milliseconds pause) = 0;
    // Drops the running pause: Elapsed does not come for it.
    virtual void Stop() = 0;

Q_SIGNALS:
    // The pause ran out.
    void Elapsed();
};

// Real time: a single-shot timer.
class RealTimeReconnectTimer : public ReconnectTimer
{
    Q_OBJECT

public:
    explicit RealTimeReconnectTimer(QObject* parent = nullptr) : ReconnectTimer(parent)
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &ReconnectTimer::Elapsed);
    }
    void Start(std::chrono::milliseconds pause) override { m_timer.start(pause); }
    void Stop() override { m_timer.stop(); }

private:
    QTimer m_timer;
};
