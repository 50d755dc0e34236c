#include "radio/ReconnectPolicy.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr std::chrono::seconds kPauses[] = {std::chrono::seconds(1), std::chrono::seconds(2),
                                            std::chrono::seconds(4), std::chrono::seconds(8),
                                            std::chrono::seconds(16)};

} // namespace

ReconnectPolicy::ReconnectPolicy(Clock clock) : m_clock(std::move(clock)) {}

void ReconnectPolicy::Reset()
{
    m_lost = 0;
    m_silentFailures = 0;
    m_refetches = 0;
    m_audio = false;
}

void ReconnectPolicy::AudioStarted()
{
    if (m_audio)
        return;
    m_audio = true;
    m_audioSince = m_clock();
    m_silentFailures = 0;
}

std::chrono::seconds ReconnectPolicy::StreamLost()
{
    if (m_audio && m_clock() - m_audioSince >= kSteadyPlay) {
        m_lost = 0;
        m_refetches = 0;
    }
    if (!m_audio)
        ++m_silentFailures;
    m_audio = false;
    const int step = m_lost++;
    return step < int(std::size(kPauses)) ? kPauses[step] : kLongPause;
}

bool ReconnectPolicy::TakeRefetch()
{
    if (m_silentFailures < kFailuresBeforeRefetch || m_refetches >= kMaxRefetches)
        return false;
    ++m_refetches;
    m_silentFailures = 0;
    return true;
}
