#pragma once

#include <QDeadlineTimer>
#include <QTest>

// Runs the event loop until `done` holds or `timeoutMs` passes; returns `done()`.
template <typename Predicate> bool WaitUntil(Predicate done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}
