#include "support/TestStreams.h"

#include "hosted/GstHandles.h"
#include "support/Loopback.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Runs a gst-launch style description to its end, bounded in time.
bool RunToEnd(const QString& description)
{
    GError* rawError = nullptr;
    GstElement* raw = gst_parse_launch(description.toUtf8().constData(), &rawError);
    const GstElementPtr pipeline(raw ? GST_ELEMENT(gst_object_ref_sink(raw)) : nullptr);
    const GErrorPtr error(rawError);
    if (error || !pipeline) {
        ADD_FAILURE() << "cannot build " << description.toStdString() << ": "
                      << (error ? error->message : "no pipeline");
        return false;
    }
    const GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    const GstMessagePtr message(gst_bus_timed_pop_filtered(
        bus.get(), 20 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    const bool ended = message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
    if (!ended)
        ADD_FAILURE() << "encoding did not finish: " << description.toStdString();
    return ended;
}

} // namespace

bool TestStreams::Start()
{
    if (!gst_init_check(nullptr, nullptr, nullptr)) {
        ADD_FAILURE() << "GStreamer does not start";
        return false;
    }
    if (!m_dir.isValid()) {
        ADD_FAILURE() << "no temporary folder";
        return false;
    }
    // 1024 samples per buffer at 44100 Hz.
    const int buffers = int(kToneSeconds * 44100 / 1024) + 1;
    const QString tone = QStringLiteral("audiotestsrc num-buffers=%1 freq=440 ! "
                                        "audio/x-raw,rate=44100,channels=2 ! ")
                             .arg(buffers);
    const QString tags =
        QStringLiteral("taginject tags=\"title=\\\"%1\\\",organization=\\\"%2\\\"\" ! ")
            .arg(QLatin1String(kToneTitle), QLatin1String(kToneOrganization));
    const QString vorbis = QStringLiteral("audioconvert ! vorbisenc ! oggmux ! ");
    const QString mp3 =
        QStringLiteral("audioconvert ! lamemp3enc target=bitrate bitrate=128 cbr=true ! ");
    const auto sinkTo = [this](const char* name) {
        return QStringLiteral("filesink location=\"%1\"").arg(FilePath(QLatin1String(name)));
    };
    if (!RunToEnd(tone + vorbis + sinkTo("tone.ogg")) ||
        !RunToEnd(tone + mp3 + sinkTo("tone.mp3")) ||
        !RunToEnd(tone + tags + vorbis + sinkTo("titled.ogg")))
        return false;

    m_server = std::make_unique<LocalHttpServer>();
    // The server's stop waits out idle keep-alive connections; keep that wait short.
    m_server->server().set_keep_alive_timeout(1);
    if (!m_server->server().set_mount_point("/", m_dir.path().toStdString()) ||
        !m_server->Start()) {
        ADD_FAILURE() << "the test HTTP server does not start";
        return false;
    }
    return true;
}

QString TestStreams::Url(const QString& name) const
{
    return QString::fromStdString(m_server->Root()) + name;
}

int ClosedLocalPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}
