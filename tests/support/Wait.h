#pragma once

#include <QTest>

// Runs the event loop until `done` holds or `timeoutMs` passes; returns `done()`.
template <typename Predicate> bool WaitUntil(Predicate done, int timeoutMs)
{
    return QTest::qWaitFor(done, timeoutMs);
}
