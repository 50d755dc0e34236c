#include "hosted/LoudnessLeveller.h"

#include "hosted/GstHandles.h"

#include <QLoggingCategory>
#include <cmath>
#include <vector>

Q_LOGGING_CATEGORY(lcLeveller, "wavelark.leveller")

namespace {

// The RMS level of one reading over all channels: the mean of the channels' powers, in dBFS.
// Nothing when the reading carries no usable level.
std::optional<double> ReadingDb(const GstStructure* reading)
{
    // The level element of this GStreamer version gives one value per channel in a
    // GValueArray, a type GLib has since deprecated for GArray.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    const GValue* list = gst_structure_get_value(reading, "rms");
    if (!list || !G_VALUE_HOLDS(list, g_value_array_get_type()))
        return std::nullopt;
    const auto* array = static_cast<const GValueArray*>(g_value_get_boxed(list));
    std::vector<double> levels;
    for (guint i = 0; array && i < array->n_values; ++i) {
        const GValue* item = g_value_array_get_nth(const_cast<GValueArray*>(array), i);
        if (G_VALUE_HOLDS_DOUBLE(item))
            levels.push_back(g_value_get_double(item));
    }
    G_GNUC_END_IGNORE_DEPRECATIONS
    if (levels.empty())
        return std::nullopt;
    double power = 0.0;
    for (const double level : levels)
        power += std::isfinite(level) ? std::pow(10.0, level / 10.0) : 0.0;
    power /= double(levels.size());
    return power > 0.0 ? 10.0 * std::log10(power) : -INFINITY;
}

GstElement* Make(const char* factory, const char* name)
{
    GstElement* element = gst_element_factory_make(factory, name);
    if (!element)
        qCWarning(lcLeveller) << "GStreamer has no" << factory << "element: no even loudness";
    return element;
}

} // namespace

std::unique_ptr<LoudnessLeveller> LoudnessLeveller::Create(double gainDb)
{
    GstElement* convert = Make("audioconvert", nullptr);
    GstElement* level = Make("level", nullptr);
    GstElement* volume = Make("volume", nullptr);
    GstElement* limiter = Make("rglimiter", nullptr);
    GstElement* bin = gst_bin_new("even-loudness");
    GstElementPtr held(GST_ELEMENT(gst_object_ref_sink(bin)));
    if (!convert || !level || !volume || !limiter) {
        for (GstElement* element : {convert, level, volume, limiter}) {
            if (element)
                gst_object_unref(gst_object_ref_sink(element));
        }
        return nullptr;
    }
    gst_bin_add_many(GST_BIN(bin), convert, level, volume, limiter, nullptr);
    if (!gst_element_link_many(convert, level, volume, limiter, nullptr)) {
        qCWarning(lcLeveller) << "the even-loudness filter cannot be linked";
        return nullptr;
    }
    g_object_set(level, "interval", guint64(kWindowNanoseconds), "post-messages", TRUE, nullptr);
    const GstPadPtr in(gst_element_get_static_pad(convert, "sink"));
    const GstPadPtr out(gst_element_get_static_pad(limiter, "src"));
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", in.get()));
    gst_element_add_pad(bin, gst_ghost_pad_new("src", out.get()));
    return std::unique_ptr<LoudnessLeveller>(
        new LoudnessLeveller(held.release(), level, volume, gainDb));
}

LoudnessLeveller::LoudnessLeveller(GstElement* bin, GstElement* level, GstElement* volume,
                                   double gainDb)
    : m_bin(bin), m_level(level), m_volume(volume), m_controller(gainDb)
{
    const std::lock_guard lock(m_mutex);
    m_reportedDb = m_controller.GainDb();
    ApplyGainLocked();
}

LoudnessLeveller::~LoudnessLeveller()
{
    gst_object_unref(m_bin);
}

void LoudnessLeveller::ApplyGainLocked()
{
    g_object_set(m_volume, "volume", GainController::LinearGain(m_controller.GainDb()), nullptr);
}

std::optional<double> LoudnessLeveller::HandleMessage(GstMessage* message)
{
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ELEMENT ||
        GST_MESSAGE_SRC(message) != GST_OBJECT(m_level))
        return std::nullopt;
    const GstStructure* reading = gst_message_get_structure(message);
    if (!reading || !gst_structure_has_name(reading, "level"))
        return std::nullopt;
    const std::optional<double> levelDb = ReadingDb(reading);
    GstClockTime duration = GST_CLOCK_TIME_NONE;
    if (!levelDb || !gst_structure_get_clock_time(reading, "duration", &duration) ||
        !GST_CLOCK_TIME_IS_VALID(duration))
        return std::nullopt;
    const std::lock_guard lock(m_mutex);
    const double before = m_controller.GainDb();
    const double gain = m_controller.AddReading(*levelDb, double(duration) / double(GST_SECOND));
    if (gain != before)
        ApplyGainLocked();
    if (std::abs(gain - m_reportedDb) < kReportStepDb)
        return std::nullopt;
    m_reportedDb = gain;
    return gain;
}

void LoudnessLeveller::SetGainDb(double gainDb)
{
    const std::lock_guard lock(m_mutex);
    m_controller.SetGainDb(gainDb);
    m_reportedDb = m_controller.GainDb();
    ApplyGainLocked();
}

double LoudnessLeveller::GainDb() const
{
    const std::lock_guard lock(m_mutex);
    return m_controller.GainDb();
}

void LoudnessLeveller::ResetAverage()
{
    const std::lock_guard lock(m_mutex);
    m_controller.ResetAverage();
}
