#include "support/ToneChannel.h"

#include "hosted/GstHandles.h"

#include <QFile>
#include <cmath>

namespace {

constexpr double kSeconds = 10.0;

bool Encode(const QString& description)
{
    GError* rawError = nullptr;
    GstElement* raw = gst_parse_launch(description.toUtf8().constData(), &rawError);
    const GstElementPtr pipeline(raw ? GST_ELEMENT(gst_object_ref_sink(raw)) : nullptr);
    const GErrorPtr error(rawError);
    if (error || !pipeline)
        return false;
    const GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    const GstMessagePtr message(gst_bus_timed_pop_filtered(
        bus.get(), 20 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
}

} // namespace

bool ToneChannel::Start(const QString& folder, double rmsDb, int frequency)
{
    if (!gst_init_check(nullptr, nullptr, nullptr))
        return false;
    const QString file = QStringLiteral("%1/tone%2.mp3").arg(folder).arg(frequency);
    // A sine's RMS is its amplitude over the square root of two.
    const double amplitude = std::sqrt(2.0) * std::pow(10.0, rmsDb / 20.0);
    const QString description =
        QStringLiteral("audiotestsrc num-buffers=%1 freq=%2 volume=%3 ! "
                       "audio/x-raw,rate=44100,channels=2 ! audioconvert ! "
                       "lamemp3enc target=bitrate bitrate=128 cbr=true ! filesink location=\"%4\"")
            .arg(int(kSeconds * 44100 / 1024) + 1)
            .arg(frequency)
            .arg(amplitude)
            .arg(file);
    if (!Encode(description))
        return false;
    QFile mp3(file);
    if (!mp3.open(QIODevice::ReadOnly))
        return false;
    RawStreamServer::Script script;
    script.body = mp3.readAll();
    script.bytesPerSecond = 16000;
    m_server.SetScript(script);
    return m_server.Start();
}
