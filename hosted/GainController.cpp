#include "hosted/GainController.h"

#include <algorithm>
#include <cmath>

GainController::GainController(double gainDb)
{
    SetGainDb(gainDb);
}

void GainController::SetGainDb(double gainDb)
{
    m_gainDb = std::isfinite(gainDb) ? std::clamp(gainDb, -kMaxCutDb, kMaxBoostDb) : 0.0;
}

void GainController::ResetAverage()
{
    m_averagePower = 0.0;
    m_heardSeconds = 0.0;
}

double GainController::AverageDb() const
{
    if (m_heardSeconds <= 0.0)
        return std::nan("");
    return 10.0 * std::log10(m_averagePower);
}

double GainController::WantedGainDb(double levelDb)
{
    return std::clamp(kTargetDb - levelDb, -kMaxCutDb, kMaxBoostDb);
}

double GainController::LinearGain(double gainDb)
{
    return std::pow(10.0, gainDb / 20.0);
}

double GainController::AddReading(double rmsDb, double seconds)
{
    if (!(seconds > 0.0) || !std::isfinite(rmsDb) || rmsDb < kSilenceDb)
        return m_gainDb;
    seconds = std::min(seconds, kMaxWindowSeconds);
    // Readings above full scale (a stream decoded past its limits) count as full scale.
    const double power = std::pow(10.0, std::min(rmsDb, 0.0) / 10.0);
    m_heardSeconds += seconds;
    // The mean of everything heard while there is less than the time constant of it, an
    // exponential average after that.
    const double weight = seconds / std::min(m_heardSeconds, kAverageSeconds);
    m_averagePower += (power - m_averagePower) * weight;

    const double wanted = WantedGainDb(AverageDb());
    const double step = kMaxChangeDbPerSecond * seconds;
    m_gainDb += std::clamp(wanted - m_gainDb, -step, step);
    return m_gainDb;
}
