#pragma once

#include "radio/ReconnectTimer.h"

#include <chrono>

// A reconnect timer on the test's own clock: a pause runs out only when the test advances the
// clock past it, so a test shows that no reconnect follows without sleeping through a pause.
class ManualReconnectTimer : public ReconnectTimer
{
public:
    void Start(std::chrono::milliseconds pause) override
    {
        m_due = m_now + pause;
        m_running = true;
    }
    void Stop() override { m_running = false; }

    // Moves the clock on; a pause that runs out meanwhile ends (Elapsed).
    void Advance(std::chrono::milliseconds step)
    {
        m_now += step;
        if (m_running && m_now >= m_due) {
            m_running = false;
            Q_EMIT Elapsed();
        }
    }
    bool IsRunning() const { return m_running; }

private:
    std::chrono::milliseconds m_now{0};
    std::chrono::milliseconds m_due{0};
    bool m_running = false;
};
