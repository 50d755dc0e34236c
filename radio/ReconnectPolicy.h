#pragma once

#include <chrono>
#include <functional>

// When a dropped stream is tried again, and when its address is asked for again. Pure: the
// time comes from the clock it is given, so the rules are tested without waiting.
//
// Pauses grow 1, 2, 4, 8, 16 s and then stay at 30 s. A stream that has played for 60 s when
// it is lost starts again from the first pause. An address that fails several attempts in a row
// without a single audio buffer may have moved, so the content server is asked for the address
// again, a bounded number of times per run of trouble.
class ReconnectPolicy
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Clock = std::function<TimePoint()>;

    static constexpr std::chrono::seconds kLongPause{30};
    static constexpr std::chrono::seconds kSteadyPlay{60};
    static constexpr int kFailuresBeforeRefetch = 3;
    static constexpr int kMaxRefetches = 2;

    explicit ReconnectPolicy(Clock clock = &std::chrono::steady_clock::now);

    // A new stream chosen by the user: no pause owed, nothing failed yet.
    void Reset();
    // The attempt under way delivered audio.
    void AudioStarted();
    // The stream ended, failed or stalled, or an attempt found nothing to play. Returns the
    // pause before the next attempt.
    std::chrono::seconds StreamLost();
    // Whether the next attempt should first fetch the address again; true counts the fetch.
    bool TakeRefetch();
    // Attempts since the last reset or steady play, the next one included.
    int NextAttempt() const { return m_lost + 1; }

private:
    Clock m_clock;
    int m_lost = 0;
    int m_silentFailures = 0;
    int m_refetches = 0;
    bool m_audio = false;
    TimePoint m_audioSince{};
};
