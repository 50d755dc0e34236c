#pragma once

#include "radio/WallClock.h"

#include <QDateTime>
#include <memory>

// A wall clock the test moves by hand; copies of Clock() follow every move.
class FakeWallClock
{
public:
    explicit FakeWallClock(const QDateTime& start) : m_now(std::make_shared<QDateTime>(start)) {}

    WallClock Clock() const
    {
        return [now = m_now] { return *now; };
    }
    QDateTime Now() const { return *m_now; }
    void Set(const QDateTime& at) { *m_now = at; }
    void Advance(qint64 seconds) { *m_now = m_now->addSecs(seconds); }
    void AdvanceMs(qint64 ms) { *m_now = m_now->addMSecs(ms); }

private:
    std::shared_ptr<QDateTime> m_now;
};
