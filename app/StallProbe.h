#pragma once

#include <QElapsedTimer>
#include <QObject>

// Measures how long the window thread stops answering: a timer due every kIntervalMs whose
// lateness is time the thread spent elsewhere (a blocking call, a long computation). Each new
// longest stall is logged on "wavelark.stall", so a benchmark can read the worst one from the
// log. Started only when WAVELARK_STALL_PROBE is set: it wakes the thread 100 times a second.
class StallProbe : public QObject
{
public:
    static constexpr int kIntervalMs = 10;
    static constexpr char kVariable[] = "WAVELARK_STALL_PROBE";

    // A probe owned by `parent` when the environment asks for one; null otherwise.
    static StallProbe* StartIfAsked(QObject* parent);

    explicit StallProbe(QObject* parent = nullptr);
    qint64 LongestStallMs() const { return m_longestMs; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QElapsedTimer m_clock;
    qint64 m_lastMs = 0;
    qint64 m_longestMs = 0;
};
