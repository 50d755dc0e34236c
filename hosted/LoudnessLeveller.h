#pragma once

#include "hosted/GainController.h"

#include <memory>
#include <mutex>
#include <optional>

struct _GstElement;
struct _GstMessage;

// The audio side of "Even loudness": a filter for playbin's audio path that measures the
// stream and applies a gain toward one level, then limits the peaks so that the gain never
// makes it clip:
//
//   audioconvert ! level (100 ms windows) ! volume (the gain) ! rglimiter
//
// The level element's readings arrive as bus messages on a streaming thread; HandleMessage
// takes them there, moves the gain (GainController) and sets it on the volume element, so the
// gain follows the stream even while the window thread is busy. The user's volume is
// playbin's own and applies after this filter. Every call is thread-safe.
class LoudnessLeveller
{
public:
    // Gain changes smaller than this are not reported (the gain moves every 100 ms).
    static constexpr double kReportStepDb = 0.1;
    // Length of one measured window.
    static constexpr long long kWindowNanoseconds = 100'000'000;

    // A new filter starting at `gainDb`, or nullptr when an element it needs is missing.
    static std::unique_ptr<LoudnessLeveller> Create(double gainDb);
    ~LoudnessLeveller();
    LoudnessLeveller(const LoudnessLeveller&) = delete;
    LoudnessLeveller& operator=(const LoudnessLeveller&) = delete;

    // The filter bin, owned by this object (playbin takes its own reference).
    _GstElement* Filter() const { return m_bin; }

    // Streaming thread: when `message` is a reading of this filter's level element, the gain
    // moves; returns the gain when it moved by kReportStepDb or more since the last report.
    std::optional<double> HandleMessage(_GstMessage* message);

    // Sets the gain at once, as when a channel starts at the level learned for it.
    void SetGainDb(double gainDb);
    double GainDb() const;
    // Another stream starts: what was measured belongs to the previous one.
    void ResetAverage();

private:
    LoudnessLeveller(_GstElement* bin, _GstElement* level, _GstElement* volume, double gainDb);
    // With m_mutex held: hands the controller's gain to the volume element.
    void ApplyGainLocked();

    _GstElement* m_bin = nullptr;    // a reference of our own
    _GstElement* m_level = nullptr;  // owned by the bin
    _GstElement* m_volume = nullptr; // owned by the bin
    mutable std::mutex m_mutex;
    GainController m_controller; // guarded by m_mutex
    double m_reportedDb = 0.0;   // guarded by m_mutex
};
