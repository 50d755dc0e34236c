#include "hosted/MediaPlayer.h"

#include "app/ControlEscape.h"
#include "hosted/DecoderRegistry.h"
#include "hosted/GStreamerStart.h"
#include "hosted/GstHandles.h"
#include "hosted/LoudnessLeveller.h"

#include <QDateTime>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <gst/audio/streamvolume.h>
#include <limits>
#include <mutex>
#include <string>

Q_LOGGING_CATEGORY(lcPlayer, "wavelark.player")

namespace {

constexpr auto kCaptureFinishTimeout = std::chrono::milliseconds(1000);
constexpr int kMaxVolume = 100;

// What a station list, a playlist and an HLS stream use: HTTP and Shoutcast's forms of it.
// Other protocols GStreamer knows (mms, rtsp, rtmp) bring their own, rarely used code into the
// process for no channel anyone lists.
const char* const kStreamSchemes[] = {"http", "https", "icy", "icyx"};

bool StartsWithScheme(const char* uri, const char* scheme)
{
    return g_ascii_strncasecmp(uri, scheme, strlen(scheme)) == 0;
}

bool IsStreamScheme(const QString& scheme)
{
    return std::any_of(std::begin(kStreamSchemes), std::end(kStreamSchemes),
                       [&](const char* known) { return scheme == QLatin1String(known); });
}

// Whether a stream failed because no installed element takes its type or codec.
bool IsMissingDecoder(const GError* error)
{
    if (!error)
        return false;
    if (error->domain == GST_STREAM_ERROR)
        return error->code == GST_STREAM_ERROR_CODEC_NOT_FOUND ||
               error->code == GST_STREAM_ERROR_TYPE_NOT_FOUND;
    return error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN;
}

// The sink from WAVELARK_AUDIO_SINK, or nullptr when it is unset or unusable.
GstElementPtr SinkFromEnvironment()
{
    const QByteArray description = qgetenv("WAVELARK_AUDIO_SINK").trimmed();
    if (description.isEmpty())
        return {};
    GError* rawError = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.constData(), TRUE, &rawError);
    const GErrorPtr error(rawError);
    GstElementPtr sink(bin ? GST_ELEMENT(gst_object_ref_sink(bin)) : nullptr);
    if (error || !sink) {
        qCWarning(lcPlayer) << "WAVELARK_AUDIO_SINK" << description
                            << "is not usable:" << (error ? error->message : "no element")
                            << "- using autoaudiosink";
        return {};
    }
    const GstPadPtr pad(gst_element_get_static_pad(sink.get(), "sink"));
    if (!pad) {
        qCWarning(lcPlayer) << "WAVELARK_AUDIO_SINK" << description
                            << "has no sink pad - using autoaudiosink";
        return {};
    }
    return sink;
}

} // namespace

// Owns the GStreamer objects; the playbin owns the sink once it is set on it.
struct MediaPlayer::Pipeline
{
    GstElementPtr playbin;
    GstBusPtr bus;
    GstPadPtr sinkPad;
    bool captureSink = false;
};

// What GStreamer's threads share with the player. The C callbacks hold their own reference,
// so it outlives the player until GStreamer lets go of the callbacks.
struct MediaPlayer::Bridge
{
    std::mutex ownerMutex;
    MediaPlayer* owner = nullptr; // guarded by ownerMutex; null once the player goes away

    // Counts stream starts and stops, so news from an earlier stream is recognised and dropped.
    std::atomic<quint64> generation{0};
    std::atomic<bool> firstAudioArmed{false};
    std::atomic<bool> audioReachedSink{false};
    // steady_clock nanoseconds of the last audio buffer at the sink, or of put_URL before it.
    std::atomic<std::int64_t> lastAudioAt{0};

    std::mutex eosMutex;
    std::condition_variable eosArrived;
    bool eosSeen = false; // guarded by eosMutex

    std::mutex userAgentMutex;
    std::string userAgent; // guarded by userAgentMutex; empty for GStreamer's own
    std::mutex levellerMutex;
    // The levelling filter set on playbin, or null while levelling is off; guarded.
    std::shared_ptr<LoudnessLeveller> leveller;

    std::shared_ptr<LoudnessLeveller> Leveller()
    {
        const std::lock_guard lock(levellerMutex);
        return leveller;
    }

    // Streaming thread: the levelling filter moves its gain itself; only the news of it is
    // handed to the UI thread.
    void CheckLevel(GstMessage* message)
    {
        const std::shared_ptr<LoudnessLeveller> filter = Leveller();
        if (!filter)
            return;
        const std::optional<double> gain = filter->HandleMessage(message);
        if (!gain)
            return;
        const std::lock_guard lock(ownerMutex);
        if (!owner)
            return;
        const quint64 posted = generation.load();
        MediaPlayer* target = owner;
        QMetaObject::invokeMethod(
            target,
            [target, gainDb = *gain, posted] { target->HandleLoudnessGain(gainDb, posted); },
            Qt::QueuedConnection);
    }

    // The generation whose source was redirected from https to http: none of its audio plays.
    std::atomic<quint64> refusedGeneration{std::numeric_limits<quint64>::max()};
    // Whether the stream that plays now was asked for over https.
    std::atomic<bool> secureStream{false};

    // Any thread: the stream's audio is refused, and its error posted as the source's own.
    void Refuse(GstObject* source, const char* why, const char* address)
    {
        refusedGeneration.store(generation.load());
        GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_OPEN_READ, why);
        GstMessage* refused = gst_message_new_error(source, error, address);
        g_error_free(error);
        PostMessage(refused);
        gst_message_unref(refused);
    }

    // Streaming thread: an HTTP source reports the answer's headers before any of its data
    // flows. A redirect from https down to http is turned into the stream's error right here,
    // and the sink lets none of its audio through meanwhile.
    void CheckRedirect(GstMessage* message)
    {
        const GstStructure* headers = gst_message_get_structure(message);
        if (!headers || !gst_structure_has_name(headers, "http-headers"))
            return;
        const gchar* uri = gst_structure_get_string(headers, "uri");
        const gchar* redirection = gst_structure_get_string(headers, "redirection-uri");
        if (!uri || !redirection || !MediaPlayer::IsDowngradingRedirect(uri, redirection))
            return;
        Refuse(GST_MESSAGE_SRC(message), "refused a redirect from https to http", redirection);
    }

    // Whichever thread makes the source: it asks for streams as the program's own fetches do.
    static void OnSourceSetup(GstElement* /*playbin*/, GstElement* source, gpointer data)
    {
        Bridge& bridge = **static_cast<std::shared_ptr<Bridge>*>(data);
        bridge.SetUpSource(source);
    }

    // Whichever thread adds the element; for an HLS stream the demuxer's, as it makes a source
    // for the next segments. Those sources are set up as the stream's own, and an https stream
    // takes no part of itself over plain http, just as it follows no redirect there: the source
    // is kept from ever connecting and the stream ends in an error.
    static void OnElementAdded(GstBin* /*playbin*/, GstBin* /*parent*/, GstElement* element,
                               gpointer data)
    {
        if (!GST_IS_URI_HANDLER(element) ||
            gst_uri_handler_get_uri_type(GST_URI_HANDLER(element)) != GST_URI_SRC)
            return;
        Bridge& bridge = **static_cast<std::shared_ptr<Bridge>*>(data);
        bridge.SetUpSource(element);
        if (!bridge.secureStream.load())
            return;
        const GCharPtr uri(gst_uri_handler_get_uri(GST_URI_HANDLER(element)));
        if (!uri || StartsWithScheme(uri.get(), "https:"))
            return;
        gst_element_set_locked_state(element, TRUE);
        bridge.Refuse(GST_OBJECT(element), "refused a plain http part of an https stream",
                      uri.get());
    }

    void SetUpSource(GstElement* source)
    {
        std::string agent;
        {
            const std::lock_guard lock(userAgentMutex);
            agent = userAgent;
        }
        if (!agent.empty() &&
            g_object_class_find_property(G_OBJECT_GET_CLASS(source), "user-agent"))
            g_object_set(source, "user-agent", agent.c_str(), nullptr);
        // Stations behind a private certificate authority: its certificate file, trusted
        // besides the system's.
        const QByteArray authority = qgetenv("WAVELARK_STREAM_CA_FILE");
        if (!authority.isEmpty() &&
            g_object_class_find_property(G_OBJECT_GET_CLASS(source), "ssl-ca-file"))
            g_object_set(source, "ssl-ca-file", authority.constData(), nullptr);
    }
    static void ReleaseClosureReference(gpointer data, GClosure* /*closure*/)
    {
        delete static_cast<std::shared_ptr<Bridge>*>(data);
    }

    void Detach()
    {
        const std::lock_guard lock(ownerMutex);
        owner = nullptr;
    }

    void PostMessage(GstMessage* message)
    {
        const std::lock_guard lock(ownerMutex);
        if (!owner)
            return;
        const quint64 posted = generation.load();
        std::shared_ptr<GstMessage> held(gst_message_ref(message), GstMessageUnref());
        MediaPlayer* target = owner;
        // The queued call dies with the player if it never runs, releasing the message.
        QMetaObject::invokeMethod(
            target, [target, held, posted] { target->HandleMessage(held.get(), posted); },
            Qt::QueuedConnection);
    }

    void PostFirstAudio()
    {
        const auto at = std::chrono::steady_clock::now();
        const qint64 epochMs = QDateTime::currentMSecsSinceEpoch();
        const std::lock_guard lock(ownerMutex);
        if (!owner)
            return;
        const quint64 posted = generation.load();
        MediaPlayer* target = owner;
        QMetaObject::invokeMethod(
            target,
            [target, at, epochMs, posted] { target->HandleFirstAudio(at, epochMs, posted); },
            Qt::QueuedConnection);
    }

    static GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer data)
    {
        // Streaming thread: hand the message to the UI thread, touch nothing here.
        Bridge& bridge = **static_cast<std::shared_ptr<Bridge>*>(data);
        switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_EOS: {
            {
                const std::lock_guard lock(bridge.eosMutex);
                bridge.eosSeen = true;
            }
            bridge.eosArrived.notify_all();
            bridge.PostMessage(message);
            break;
        }
        case GST_MESSAGE_ELEMENT:
            bridge.CheckRedirect(message);
            bridge.CheckLevel(message);
            break;
        case GST_MESSAGE_ERROR:
        case GST_MESSAGE_WARNING:
        case GST_MESSAGE_TAG:
        case GST_MESSAGE_BUFFERING:
        case GST_MESSAGE_CLOCK_LOST:
            bridge.PostMessage(message);
            break;
        default:
            break;
        }
        // Nobody pops the bus: every message is handled here or not at all.
        return GST_BUS_DROP;
    }

    static GstPadProbeReturn OnSinkData(GstPad*, GstPadProbeInfo*, gpointer data)
    {
        // Streaming thread: hand the news to the UI thread, touch nothing here.
        Bridge& bridge = **static_cast<std::shared_ptr<Bridge>*>(data);
        if (bridge.refusedGeneration.load() == bridge.generation.load())
            return GST_PAD_PROBE_DROP;
        bridge.lastAudioAt.store(std::chrono::steady_clock::now().time_since_epoch().count());
        bridge.audioReachedSink.store(true);
        if (bridge.firstAudioArmed.exchange(false))
            bridge.PostFirstAudio();
        return GST_PAD_PROBE_OK;
    }

    static void ReleaseReference(gpointer data)
    {
        delete static_cast<std::shared_ptr<Bridge>*>(data);
    }
};

std::unique_ptr<MediaPlayer> MediaPlayer::Create()
{
    if (!StartGStreamer())
        return nullptr;

    auto pipeline = std::make_unique<Pipeline>();
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    if (!playbin) {
        qCWarning(lcPlayer) << "GStreamer has no playbin element";
        return nullptr;
    }
    pipeline->playbin.reset(GST_ELEMENT(gst_object_ref_sink(playbin)));

    GstElementPtr sink = SinkFromEnvironment();
    pipeline->captureSink = sink != nullptr;
    if (!sink) {
        GstElement* automatic = gst_element_factory_make("autoaudiosink", nullptr);
        if (!automatic) {
            qCWarning(lcPlayer) << "GStreamer has no autoaudiosink element";
            return nullptr;
        }
        sink.reset(GST_ELEMENT(gst_object_ref_sink(automatic)));
    }
    pipeline->sinkPad.reset(gst_element_get_static_pad(sink.get(), "sink"));
    if (!pipeline->sinkPad) {
        qCWarning(lcPlayer) << "the audio sink has no sink pad";
        return nullptr;
    }
    g_object_set(pipeline->playbin.get(), "audio-sink", sink.get(), nullptr);
    // Radio is audio: no video window for a stream that happens to carry pictures, no subtitles.
    gst_util_set_object_arg(G_OBJECT(pipeline->playbin.get()), "flags", "audio+soft-volume");

    pipeline->bus.reset(gst_element_get_bus(pipeline->playbin.get()));
    auto bridge = std::make_shared<Bridge>();
    gst_bus_set_sync_handler(pipeline->bus.get(), &Bridge::OnBusMessage,
                             new std::shared_ptr<Bridge>(bridge), &Bridge::ReleaseReference);
    g_signal_connect_data(pipeline->playbin.get(), "source-setup",
                          G_CALLBACK(&Bridge::OnSourceSetup), new std::shared_ptr<Bridge>(bridge),
                          &Bridge::ReleaseClosureReference, GConnectFlags(0));
    g_signal_connect_data(pipeline->playbin.get(), "deep-element-added",
                          G_CALLBACK(&Bridge::OnElementAdded), new std::shared_ptr<Bridge>(bridge),
                          &Bridge::ReleaseClosureReference, GConnectFlags(0));
    gst_pad_add_probe(pipeline->sinkPad.get(),
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
                      &Bridge::OnSinkData, new std::shared_ptr<Bridge>(bridge),
                      &Bridge::ReleaseReference);

    return std::unique_ptr<MediaPlayer>(new MediaPlayer(std::move(pipeline), std::move(bridge)));
}

MediaPlayer::MediaPlayer(std::unique_ptr<Pipeline> pipeline, std::shared_ptr<Bridge> bridge)
    : m_pipeline(std::move(pipeline)), m_bridge(std::move(bridge))
{
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, &MediaPlayer::CheckStall);
    m_titleTimer.setSingleShot(true);
    connect(&m_titleTimer, &QTimer::timeout, this, [this] { AnnounceTitle(m_waitingTitle); });
    const std::lock_guard lock(m_bridge->ownerMutex);
    m_bridge->owner = this;
}

MediaPlayer::~MediaPlayer()
{
    StopPipeline(true);
    // From here on GStreamer's threads post nothing to this object; what is already queued is
    // discarded with it.
    m_bridge->Detach();
    gst_bus_set_sync_handler(m_pipeline->bus.get(), nullptr, nullptr, nullptr);
}

std::optional<QString> MediaPlayer::CleanStreamAddress(const QString& address)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    for (const QChar c : text) {
        if (c.isSpace() || c.category() == QChar::Other_Control)
            return std::nullopt;
    }
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0 || !IsStreamScheme(text.left(colon).toLower()))
        return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    return QString::fromLatin1(url.toEncoded());
}

bool MediaPlayer::HasStreamScheme(const QString& address)
{
    const QString text = address.trimmed();
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    return colon > 0 && colon <= 4 && IsStreamScheme(text.left(colon).toLower());
}

bool MediaPlayer::IsDowngradingRedirect(const char* from, const char* to)
{
    return StartsWithScheme(from, "https:") && !StartsWithScheme(to, "https:");
}

bool MediaPlayer::put_URL(const QString& address)
{
    const std::optional<QString> streamAddress = CleanStreamAddress(address);
    if (!streamAddress) {
        // Quoted: QDebug escapes control characters, so the address cannot forge log lines.
        qCWarning(lcPlayer) << "refused stream address" << address;
        return false;
    }
    // Checked before anything stops: an address no installed element can open must not end
    // the stream that plays now.
    const QByteArray scheme = QUrl(*streamAddress).scheme().toLatin1();
    if (!gst_uri_protocol_is_supported(GST_URI_SRC, scheme.constData())) {
        qCWarning(lcPlayer).noquote() << "no GStreamer source can open" << *streamAddress;
        return false;
    }
    qCInfo(lcPlayer).noquote() << "playing" << *streamAddress;

    StopPipeline(false);
    m_streamTitle.clear();
    m_organization.clear();
    m_urlStartedAt = std::chrono::steady_clock::now();
    PrepareLevelling();
    if (!StartPipeline(streamAddress->toUtf8().constData())) {
        qCWarning(lcPlayer).noquote() << "cannot start" << *streamAddress;
        return false;
    }
    return true;
}

bool MediaPlayer::StartPipeline(const char* uri)
{
    GstElement* playbin = m_pipeline->playbin.get();
    g_object_set(playbin, "uri", uri, nullptr);
    m_bridge->secureStream.store(StartsWithScheme(uri, "https:"));
    // A new stream has had no chance to send audio yet: the stall clock starts now.
    m_bridge->lastAudioAt.store(std::chrono::steady_clock::now().time_since_epoch().count());
    m_bridge->firstAudioArmed.store(true);
    // Asynchronous: the connection and the first data come later, the call never waits for them.
    if (gst_element_set_state(playbin, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        StopPipeline(false);
        return false;
    }
    m_stallTimer.start(kStallTimeout);
    return true;
}

void MediaPlayer::OfferTitle(const QString& title)
{
    const auto now = std::chrono::steady_clock::now();
    const auto since = now - m_titleAnnouncedAt;
    if (!m_titleTimer.isActive() && since >= kTitleInterval) {
        AnnounceTitle(title);
        return;
    }
    m_waitingTitle = title;
    if (!m_titleTimer.isActive())
        m_titleTimer.start(std::chrono::ceil<std::chrono::milliseconds>(kTitleInterval - since));
}

void MediaPlayer::AnnounceTitle(const QString& title)
{
    m_titleAnnouncedAt = std::chrono::steady_clock::now();
    // Escaped: a station can neither forge log lines nor reach a terminal that shows the log.
    qCInfo(lcPlayer).noquote() << "stream title:"
                               << QLatin1Char('"') + EscapeControls(title) + QLatin1Char('"');
    Q_EMIT StreamTitleChanged(title);
}

void MediaPlayer::SetUserAgent(const QByteArray& userAgent)
{
    const std::lock_guard lock(m_bridge->userAgentMutex);
    m_bridge->userAgent = userAgent.toStdString();
}

bool MediaPlayer::close()
{
    qCInfo(lcPlayer) << "stopping playback";
    StopPipeline(true);
    return true;
}

bool MediaPlayer::put_mute(bool mute)
{
    g_object_set(m_pipeline->playbin.get(), "mute", mute ? TRUE : FALSE, nullptr);
    return true;
}

bool MediaPlayer::put_volume(int level)
{
    const int clamped = std::clamp(level, 0, kMaxVolume);
    gst_stream_volume_set_volume(GST_STREAM_VOLUME(m_pipeline->playbin.get()),
                                 GST_STREAM_VOLUME_FORMAT_CUBIC, clamped / double(kMaxVolume));
    return true;
}

_GstElement* MediaPlayer::Playbin() const
{
    return m_pipeline->playbin.get();
}

int MediaPlayer::Volume() const
{
    const double cubic = gst_stream_volume_get_volume(GST_STREAM_VOLUME(m_pipeline->playbin.get()),
                                                      GST_STREAM_VOLUME_FORMAT_CUBIC);
    return int(std::lround(cubic * kMaxVolume));
}

bool MediaPlayer::Muted() const
{
    gboolean mute = FALSE;
    g_object_get(m_pipeline->playbin.get(), "mute", &mute, nullptr);
    return mute != FALSE;
}

void MediaPlayer::StopPipeline(bool finishCapture)
{
    if (finishCapture)
        FinishCapture();
    gst_element_set_state(m_pipeline->playbin.get(), GST_STATE_NULL);
    m_stallTimer.stop();
    // A title still waiting belongs to the stream that just stopped.
    m_titleTimer.stop();
    // Anything the old stream still has in flight now belongs to a finished generation.
    m_bridge->firstAudioArmed.store(false);
    m_bridge->audioReachedSink.store(false);
    ++m_bridge->generation;
}

void MediaPlayer::FinishCapture()
{
    // A real audio device needs no ending and should fall silent at once; a capture file needs
    // its header completed, which the encoder does on EOS. EOS sent to playbin would enter at
    // the source and may never reach the sink, so it goes into the sink's own pad.
    if (!m_pipeline->captureSink || !m_bridge->audioReachedSink.load())
        return;
    GstState current = GST_STATE_NULL;
    gst_element_get_state(m_pipeline->playbin.get(), &current, nullptr, 0);
    if (current != GST_STATE_PLAYING && current != GST_STATE_PAUSED)
        return;
    {
        const std::lock_guard lock(m_bridge->eosMutex);
        m_bridge->eosSeen = false;
    }
    if (!gst_pad_send_event(m_pipeline->sinkPad.get(), gst_event_new_eos()))
        return; // the sink has already ended
    std::unique_lock lock(m_bridge->eosMutex);
    if (!m_bridge->eosArrived.wait_for(lock, kCaptureFinishTimeout,
                                       [this] { return m_bridge->eosSeen; }))
        qCWarning(lcPlayer) << "the capture sink did not finish in time";
}

void MediaPlayer::HandleMessage(_GstMessage* message, quint64 generation)
{
    if (generation != m_bridge->generation.load())
        return; // news from a stream that has since been replaced or stopped
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        GError* rawError = nullptr;
        gchar* rawDebug = nullptr;
        gst_message_parse_error(message, &rawError, &rawDebug);
        const GErrorPtr error(rawError);
        const GCharPtr debug(rawDebug);
        const QString text = QString::fromUtf8(error ? error->message : "unknown error");
        // GStreamer's texts carry what the server said (an HTTP reason phrase, a redirect's
        // address): escaped, so that a server can neither forge log lines nor send a terminal
        // that shows the log an escape sequence.
        if (IsMissingDecoder(error.get()) && DecoderRegistry::AdmitHeldBackDecoders()) {
            qCInfo(lcPlayer).noquote()
                << "no decoder held ready for this stream:" << EscapeControls(text);
            RestartStream();
            break;
        }
        qCWarning(lcPlayer).noquote()
            << "playback error:" << EscapeControls(text) << "|"
            << EscapeControls(QString::fromUtf8(debug ? debug.get() : ""));
        // A failed stream is not retried; leave nothing half-open behind it.
        StopPipeline(false);
        Q_EMIT PlaybackError(text);
        break;
    }
    case GST_MESSAGE_WARNING: {
        GError* rawError = nullptr;
        gchar* rawDebug = nullptr;
        gst_message_parse_warning(message, &rawError, &rawDebug);
        const GErrorPtr error(rawError);
        const GCharPtr debug(rawDebug);
        qCWarning(lcPlayer).noquote()
            << "playback warning:" << EscapeControls(QString::fromUtf8(error ? error->message : ""));
        break;
    }
    case GST_MESSAGE_EOS:
        qCInfo(lcPlayer) << "end of stream";
        StopPipeline(false);
        Q_EMIT EndOfStream();
        break;
    case GST_MESSAGE_TAG: {
        GstTagList* rawTags = nullptr;
        gst_message_parse_tag(message, &rawTags);
        const GstTagListPtr tags(rawTags);
        gchar* rawText = nullptr;
        if (gst_tag_list_get_string(tags.get(), GST_TAG_ORGANIZATION, &rawText)) {
            const GCharPtr text(rawText);
            const QString organization = QString::fromUtf8(text.get());
            if (organization != m_organization) {
                m_organization = organization;
                // Quoted: QDebug escapes control characters, so a station cannot forge lines.
                qCInfo(lcPlayer) << "station:" << organization;
            }
        }
        if (gst_tag_list_get_string(tags.get(), GST_TAG_TITLE, &rawText)) {
            const GCharPtr text(rawText);
            const QString title = QString::fromUtf8(text.get());
            if (title != m_streamTitle) {
                m_streamTitle = title;
                OfferTitle(title);
            }
        }
        break;
    }
    case GST_MESSAGE_BUFFERING: {
        // Live radio must not pause to refill: that is an audible gap every few seconds.
        int percent = 0;
        gst_message_parse_buffering(message, &percent);
        qCDebug(lcPlayer) << "buffering" << percent << "% (not pausing)";
        break;
    }
    case GST_MESSAGE_CLOCK_LOST: {
        // The clock provider went away (for example the audio device); pick a new one.
        GstElement* playbin = m_pipeline->playbin.get();
        gst_element_set_state(playbin, GST_STATE_PAUSED);
        gst_element_set_state(playbin, GST_STATE_PLAYING);
        break;
    }
    default:
        break;
    }
}

void MediaPlayer::RestartStream()
{
    GstElement* playbin = m_pipeline->playbin.get();
    // Read before the stop: playbin forgets the stream it played once it goes down to NULL.
    gchar* rawUri = nullptr;
    g_object_get(playbin, "current-uri", &rawUri, nullptr);
    const GCharPtr uri(rawUri);
    qCInfo(lcPlayer).noquote() << "retrying with every installed decoder:"
                               << QString::fromUtf8(uri ? uri.get() : "");
    StopPipeline(false);
    // The first audio is still counted from the put_URL that asked for this stream, and the
    // restarted stream is watched for stalls like any other.
    if (!uri || !StartPipeline(uri.get()))
        Q_EMIT PlaybackError(QStringLiteral("cannot start the stream again"));
}

void MediaPlayer::HandleFirstAudio(std::chrono::steady_clock::time_point at, qint64 epochMs,
                                   quint64 generation)
{
    if (generation != m_bridge->generation.load())
        return;
    const qint64 elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(at - m_urlStartedAt).count();
    qCInfo(lcPlayer).noquote() << QStringLiteral(
                                      "first audio buffer: %1 ms after put_URL, epoch_ms=%2")
                                      .arg(elapsedMs)
                                      .arg(epochMs);
    Q_EMIT FirstAudio(elapsedMs);
}

void MediaPlayer::CheckStall()
{
    using namespace std::chrono;
    const steady_clock::time_point lastAudio{steady_clock::duration(m_bridge->lastAudioAt.load())};
    const auto quiet = duration_cast<milliseconds>(steady_clock::now() - lastAudio);
    if (quiet < kStallTimeout) {
        m_stallTimer.start(kStallTimeout - quiet);
        return;
    }
    qCWarning(lcPlayer).noquote()
        << QStringLiteral("no audio for %1 ms: the stream stalled").arg(quiet.count());
    StopPipeline(false);
    Q_EMIT Stalled();
}

void MediaPlayer::PrepareLevelling()
{
    const std::shared_ptr<LoudnessLeveller> filter = m_bridge->Leveller();
    if (m_nextLoudnessGain)
        m_loudnessGainDb = *m_nextLoudnessGain;
    m_nextLoudnessGain.reset();
    if (!filter)
        return;
    filter->ResetAverage();
    filter->SetGainDb(m_loudnessGainDb);
}

bool MediaPlayer::SetEvenLoudness(bool on)
{
    if (on == EvenLoudness())
        return true;
    std::shared_ptr<LoudnessLeveller> filter;
    if (on) {
        filter = LoudnessLeveller::Create(m_loudnessGainDb);
        if (!filter)
            return false;
    }
    qCInfo(lcPlayer) << "even loudness" << (on ? "on" : "off");
    // playbin builds its audio path when a stream starts: one that plays now starts again.
    // A stream is on from StartPipeline to StopPipeline, which is while its stall watch runs.
    GstElement* playbin = m_pipeline->playbin.get();
    GCharPtr uri;
    if (m_stallTimer.isActive()) {
        gchar* rawUri = nullptr;
        g_object_get(playbin, "current-uri", &rawUri, nullptr);
        if (!rawUri)
            g_object_get(playbin, "uri", &rawUri, nullptr);
        uri.reset(rawUri);
    }
    StopPipeline(false);
    // Swapped once no streaming thread runs, so none still measures with the old filter.
    {
        const std::lock_guard lock(m_bridge->levellerMutex);
        m_bridge->leveller = filter;
    }
    g_object_set(playbin, "audio-filter", filter ? filter->Filter() : nullptr, nullptr);
    // The new filter starts at the gain the stream had reached.
    if (uri) {
        if (!StartPipeline(uri.get()))
            Q_EMIT PlaybackError(QStringLiteral("cannot start the stream again"));
    }
    return true;
}

bool MediaPlayer::EvenLoudness() const
{
    return m_bridge->Leveller() != nullptr;
}

void MediaPlayer::SetNextLoudnessGain(double gainDb)
{
    m_nextLoudnessGain = gainDb;
}

double MediaPlayer::LoudnessGain() const
{
    const std::shared_ptr<LoudnessLeveller> filter = m_bridge->Leveller();
    return filter ? filter->GainDb() : 0.0;
}

void MediaPlayer::HandleLoudnessGain(double gainDb, quint64 generation)
{
    if (generation != m_bridge->generation.load())
        return;
    m_loudnessGainDb = gainDb;
    Q_EMIT LoudnessGainChanged(gainDb);
}
