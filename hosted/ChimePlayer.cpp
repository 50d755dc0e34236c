#include "hosted/ChimePlayer.h"

#include "hosted/GStreamerStart.h"
#include "hosted/GstHandles.h"

#include <QLoggingCategory>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <gst/audio/streamvolume.h>
#include <numbers>

Q_LOGGING_CATEGORY(lcChime, "wavelark.chime")

// What the streaming thread reads: the cycle never changes once playing; the position is the
// streaming thread's alone.
struct ChimeFeeder
{
    QByteArray cycle;
    qint64 position = 0; // samples pushed since Play
};

namespace {

constexpr int kChimeSamplesPerBuffer = 2048;
constexpr GstClockTime kChimeCaptureTimeout = 3 * GST_SECOND;

// Streaming thread: hand appsrc the next stretch of the cycle, touch nothing else.
void OnChimeNeedsData(GstElement* source, guint, gpointer data)
{
    auto* feeder = static_cast<ChimeFeeder*>(data);
    const qint64 cycleSamples = feeder->cycle.size() / 2;
    if (cycleSamples == 0)
        return;
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, kChimeSamplesPerBuffer * 2, nullptr);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        gst_buffer_unref(buffer);
        return;
    }
    for (int i = 0; i < kChimeSamplesPerBuffer;) {
        const qint64 at = (feeder->position + i) % cycleSamples;
        const int n = int(std::min<qint64>(kChimeSamplesPerBuffer - i, cycleSamples - at));
        std::copy_n(feeder->cycle.constData() + at * 2, n * 2, map.data + i * 2);
        i += n;
    }
    gst_buffer_unmap(buffer, &map);
    GST_BUFFER_PTS(buffer) =
        gst_util_uint64_scale(guint64(feeder->position), GST_SECOND, ChimePlayer::kRate);
    GST_BUFFER_DURATION(buffer) =
        gst_util_uint64_scale(kChimeSamplesPerBuffer, GST_SECOND, ChimePlayer::kRate);
    feeder->position += kChimeSamplesPerBuffer;
    GstFlowReturn result = GST_FLOW_OK;
    g_signal_emit_by_name(source, "push-buffer", buffer, &result);
    gst_buffer_unref(buffer);
}

GstElementPtr ChimeSinkFor(bool& capture)
{
    QByteArray description = qgetenv("WAVELARK_CHIME_SINK").trimmed();
    if (description.isEmpty())
        description = qgetenv("WAVELARK_AUDIO_SINK").trimmed();
    capture = !description.isEmpty();
    if (capture) {
        GError* rawError = nullptr;
        GstElement* bin = gst_parse_bin_from_description(description.constData(), TRUE, &rawError);
        const GErrorPtr error(rawError);
        if (bin && !error)
            return GstElementPtr(GST_ELEMENT(gst_object_ref_sink(bin)));
        if (bin)
            gst_object_unref(gst_object_ref_sink(bin));
        qCWarning(lcChime) << "sink" << description << "is not usable - using autoaudiosink";
        capture = false;
    }
    GstElement* automatic = gst_element_factory_make("autoaudiosink", nullptr);
    return GstElementPtr(automatic ? GST_ELEMENT(gst_object_ref_sink(automatic)) : nullptr);
}

} // namespace

struct ChimePlayer::Pipeline
{
    GstElementPtr pipeline;
    GstElementPtr source;
    GstElementPtr volume;
    GstBusPtr bus;
    bool capture = false;
    // Outlives the pipeline's streaming thread: the pipeline is stopped before it goes.
    ChimeFeeder feeder;
};

QByteArray ChimePlayer::CycleSamples()
{
    // A soft descending "ding, dong, ding": bell-like notes (a fundamental with two quieter
    // overtones), a short rise so nothing clicks, and a long decay; then a rest.
    const struct
    {
        double start;
        double frequency;
    } notes[] = {{0.0, 659.25}, {0.7, 523.25}, {1.4, 783.99}};
    constexpr double kPeak = 0.3;
    const int count = int(kCycleSeconds * kRate);
    std::vector<double> mix(size_t(count), 0.0);
    for (const auto& note : notes) {
        const int first = int(note.start * kRate);
        for (int i = first; i < count; ++i) {
            const double t = double(i - first) / kRate;
            const double rise = std::min(1.0, t / 0.015);
            const double envelope = rise * std::exp(-t / 0.8);
            if (envelope < 1e-4 && t > 0.1)
                break;
            const double phase = 2.0 * std::numbers::pi * note.frequency * t;
            mix[size_t(i)] +=
                envelope *
                (std::sin(phase) + 0.3 * std::sin(2.0 * phase) + 0.1 * std::sin(3.0 * phase)) / 1.4;
        }
    }
    // The tails reach silence before the cycle starts again, so the loop never clicks.
    const int taper = kRate / 4;
    QByteArray samples(count * 2, Qt::Uninitialized);
    for (int i = 0; i < count; ++i) {
        const double fade = std::min(1.0, double(count - 1 - i) / taper);
        const double value = std::clamp(mix[size_t(i)] * kPeak * fade, -1.0, 1.0);
        qToLittleEndian(qint16(std::lround(value * 32767.0)), samples.data() + i * 2);
    }
    return samples;
}

std::unique_ptr<ChimePlayer> ChimePlayer::Create()
{
    if (!StartGStreamer())
        return nullptr;
    auto pipeline = std::make_unique<Pipeline>();
    const QByteArray description =
        "appsrc name=chimesource format=time "
        "caps=audio/x-raw,format=S16LE,layout=interleaved,rate=" +
        QByteArray::number(kRate) +
        ",channels=1 ! audioconvert ! audioresample ! volume name=chimelevel volume=0";
    GError* rawError = nullptr;
    GstElement* launched = gst_parse_launch(description.constData(), &rawError);
    const GErrorPtr error(rawError);
    if (!launched || error) {
        if (launched)
            gst_object_unref(gst_object_ref_sink(launched));
        qCWarning(lcChime) << "no chime pipeline:" << (error ? error->message : "no element");
        return nullptr;
    }
    pipeline->pipeline.reset(GST_ELEMENT(gst_object_ref_sink(launched)));
    GstElementPtr sink = ChimeSinkFor(pipeline->capture);
    pipeline->source.reset(gst_bin_get_by_name(GST_BIN(pipeline->pipeline.get()), "chimesource"));
    pipeline->volume.reset(gst_bin_get_by_name(GST_BIN(pipeline->pipeline.get()), "chimelevel"));
    if (!sink || !pipeline->source || !pipeline->volume) {
        qCWarning(lcChime) << "no chime pipeline: an element is missing";
        return nullptr;
    }
    gst_bin_add(GST_BIN(pipeline->pipeline.get()), sink.get());
    if (!gst_element_link(pipeline->volume.get(), sink.get())) {
        qCWarning(lcChime) << "no chime pipeline: the sink does not take its audio";
        return nullptr;
    }
    pipeline->bus.reset(gst_element_get_bus(pipeline->pipeline.get()));
    pipeline->feeder.cycle = CycleSamples();
    g_signal_connect(pipeline->source.get(), "need-data", G_CALLBACK(&OnChimeNeedsData),
                     &pipeline->feeder);
    return std::unique_ptr<ChimePlayer>(new ChimePlayer(std::move(pipeline)));
}

ChimePlayer::ChimePlayer(std::unique_ptr<Pipeline> pipeline) : m_pipeline(std::move(pipeline)) {}

ChimePlayer::~ChimePlayer()
{
    Stop();
}

bool ChimePlayer::Play()
{
    if (m_playing)
        return true;
    gst_element_set_state(m_pipeline->pipeline.get(), GST_STATE_NULL);
    m_pipeline->feeder.position = 0;
    if (gst_element_set_state(m_pipeline->pipeline.get(), GST_STATE_PLAYING) ==
        GST_STATE_CHANGE_FAILURE) {
        qCWarning(lcChime) << "the chime cannot play";
        gst_element_set_state(m_pipeline->pipeline.get(), GST_STATE_NULL);
        return false;
    }
    m_playing = true;
    return true;
}

void ChimePlayer::Stop()
{
    if (!m_playing)
        return;
    m_playing = false;
    if (m_pipeline->capture) {
        // A capture file needs its header finished, which the encoder does on end of stream.
        GstFlowReturn result = GST_FLOW_OK;
        g_signal_emit_by_name(m_pipeline->source.get(), "end-of-stream", &result);
        const GstMessagePtr message(
            gst_bus_timed_pop_filtered(m_pipeline->bus.get(), kChimeCaptureTimeout,
                                       GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        if (!message)
            qCWarning(lcChime) << "the chime's capture did not finish in time";
    }
    gst_element_set_state(m_pipeline->pipeline.get(), GST_STATE_NULL);
}

void ChimePlayer::SetLevel(int level)
{
    gst_stream_volume_set_volume(GST_STREAM_VOLUME(m_pipeline->volume.get()),
                                 GST_STREAM_VOLUME_FORMAT_CUBIC, std::clamp(level, 0, 100) / 100.0);
}
