#pragma once

// The arithmetic of "Even loudness", apart from any audio library: RMS readings of a stream
// over short windows go into a slow running average of its power, and a gain moves the stream
// toward one target level. The gain is bounded and changes slowly, so that a channel's quiet
// passages are not pumped up and a loud one never jumps at the listener.
//
// Not thread-safe on its own; its owner serialises the calls.
class GainController
{
public:
    // About where broadcast music sits.
    static constexpr double kTargetDb = -20.0;
    static constexpr double kMaxBoostDb = 12.0;
    static constexpr double kMaxCutDb = 12.0;
    static constexpr double kMaxChangeDbPerSecond = 1.0;
    // Windows quieter than this are a pause or silence: they neither count toward the average
    // nor move the gain, so the gap between two programmes is not raised to the target.
    static constexpr double kSilenceDb = -60.0;
    // Time constant of the running average. Over its first this-many seconds of sound the
    // average is the plain mean of what was heard, so a new stream's level is known at once.
    static constexpr double kAverageSeconds = 10.0;
    // A window longer than this counts as this long: a stall or a jump in the stream's time
    // must not let the gain leap.
    static constexpr double kMaxWindowSeconds = 1.0;

    // Starts at `gainDb` (clamped to the bounds).
    explicit GainController(double gainDb = 0.0);

    // Takes one window of `seconds` whose RMS level was `rmsDb` (dBFS; -inf or NaN for digital
    // silence) and returns the gain from now on.
    double AddReading(double rmsDb, double seconds);

    // The gain in dB, within [-kMaxCutDb, kMaxBoostDb].
    double GainDb() const { return m_gainDb; }
    // Sets the gain (clamped), as when a stream starts at the level learned for its channel.
    void SetGainDb(double gainDb);
    // Forgets the average, as when another stream starts; the gain stays.
    void ResetAverage();
    // The running average in dBFS, or NaN while nothing was heard since the last reset.
    double AverageDb() const;

    // The gain that brings a stream at `levelDb` to the target, within the bounds.
    static double WantedGainDb(double levelDb);
    // The factor a sample is multiplied by for `gainDb`.
    static double LinearGain(double gainDb);

private:
    double m_gainDb = 0.0;
    double m_averagePower = 0.0; // mean square, full scale = 1
    double m_heardSeconds = 0.0; // sound (not silence) since the last reset
};
