#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>

struct _GstElement;
struct _GstMessage;

// The one audio player of the program: a GStreamer playbin behind the four operations the
// radio windows use. Every operation returns whether it succeeded; a failed one leaves what
// plays untouched. Lives on the UI thread; GStreamer's own threads only post to it.
//
// The audio goes to autoaudiosink, or to the sink described by the environment variable
// WAVELARK_AUDIO_SINK (a gst-launch bin description such as "fakesink sync=true"), which is
// how tests and benchmarks capture what would be heard.
class MediaPlayer : public QObject
{
    Q_OBJECT

public:
    // The player, or nullptr when GStreamer, playbin or an audio sink is unavailable.
    static std::unique_ptr<MediaPlayer> Create();
    ~MediaPlayer() override;
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    // Replaces what plays with the stream at `address` and starts it, without waiting for the
    // network. Refuses (false, previous playback untouched) any address that is not a network
    // stream address; see CleanStreamAddress. Connection failures arrive later as PlaybackError.
    // A stream that fails for want of a decoder while the libav plugin is held back (see
    // DecoderRegistry) is started once more with it, without an error.
    bool put_URL(const QString& address);
    // Stops playback. A capture sink from WAVELARK_AUDIO_SINK is finished first (bounded).
    bool close();
    bool put_mute(bool mute);
    // `level` 0..100 on the cubic scale media-player sliders use: amplitude (level/100)^3,
    // which spreads the heard loudness along the slider where a linear scale would crowd it
    // into the bottom few steps. Levels outside the range are clamped. Kept across put_URL.
    bool put_volume(int level);

    // The User-Agent of the stream requests from the next put_URL on (the program's own, so
    // that a station sees one client); empty for GStreamer's.
    void SetUserAgent(const QByteArray& userAgent);

    // The playbin, for a recorder that takes the stream's bytes from it (see StreamRecorder).
    _GstElement* Playbin() const;

    // "Even loudness": on, every stream from now on passes the levelling filter
    // (LoudnessLeveller) before the user's volume; off, the audio path has no filter at all.
    // A stream playing now is started again so that the choice is heard at once. False, and
    // off, when the filter cannot be made.
    bool SetEvenLoudness(bool on);
    bool EvenLoudness() const;
    // The levelling gain in dB that the next put_URL's stream starts at (the level learned for
    // its channel). put_URLs after that one (reconnects of the same channel) keep the gain the
    // stream had reached.
    void SetNextLoudnessGain(double gainDb);
    // The levelling gain now, in dB; 0 while levelling is off.
    double LoudnessGain() const;

    // The state last applied to the pipeline, read back from it.
    int Volume() const;
    bool Muted() const;

    // The address handed to GStreamer for `address`, or nothing when it must not be played:
    // only the schemes of HTTP streams (http, https, and Shoutcast's icy and icyx)
    // with a host, no control characters or spaces inside. Surrounding whitespace, such as the
    // CR that the content server's CR LF line end leaves behind, is dropped first, since
    // GStreamer would otherwise reject the address or ask the server for a wrong path.
    static std::optional<QString> CleanStreamAddress(const QString& address);
    // Whether `address` (trimmed) starts with one of those schemes and a colon: a quick look
    // that turns junk away before an address is parsed.
    static bool HasStreamScheme(const QString& address);

    // Whether a redirect from `from` to `to` leaves https for anything else. Such a redirect
    // ends the stream with PlaybackError before any of its audio plays: a station reached over
    // https is never heard over a connection anyone can read or change.
    static bool IsDowngradingRedirect(const char* from, const char* to);

    // A stream from which no audio buffer has reached the sink for this long, counted from
    // put_URL or from the last buffer, has stalled. A stream of silence still sends buffers.
    static constexpr std::chrono::milliseconds kStallTimeout{8000};
    // The shortest time between two StreamTitleChanged: a station that changes its title many
    // times a second must not flood the tool tip and the desktop bus.
    static constexpr std::chrono::milliseconds kTitleInterval{1000};

Q_SIGNALS:
    // Emitted when a stream's title tag arrives and differs from the last one of this stream,
    // at most once per kTitleInterval: titles that come faster wait, and only the newest of
    // them is announced when the interval is over.
    void StreamTitleChanged(const QString& title);
    // Emitted when the current stream fails (unreachable server, missing mount, bad data).
    void PlaybackError(const QString& message);
    // Emitted when the current stream ends by itself.
    void EndOfStream();
    // Emitted once per put_URL when the first audio buffer reaches the sink.
    void FirstAudio(qint64 millisecondsSincePutUrl);
    // Emitted when the levelling gain of the current stream moved, in steps of 0.1 dB or more.
    void LoudnessGainChanged(double gainDb);
    // Emitted when the current stream stalled (see kStallTimeout); the stream is stopped
    // first, as after PlaybackError.
    void Stalled();

private:
    struct Pipeline;
    struct Bridge;

    MediaPlayer(std::unique_ptr<Pipeline> pipeline, std::shared_ptr<Bridge> bridge);

    // UI thread: messages and first-audio news marshalled from GStreamer's threads.
    void HandleMessage(_GstMessage* message, quint64 generation);
    void HandleFirstAudio(std::chrono::steady_clock::time_point at, qint64 epochMs,
                          quint64 generation);

    // Starts the current stream again from the beginning, after a decoder was made available.
    void RestartStream();
    // UI thread: a levelling gain measured on a streaming thread.
    void HandleLoudnessGain(double gainDb, quint64 generation);
    // Before a stream starts: the levelling measures it afresh, from the gain asked for.
    void PrepareLevelling();
    // Sets `uri` and brings the pipeline to PLAYING with the first-audio and stall watches
    // armed; false (and stopped) when the pipeline refuses.
    bool StartPipeline(const char* uri);
    // Brings the pipeline to NULL; with finishCapture, a capture sink first gets its EOS.
    void StopPipeline(bool finishCapture);
    void FinishCapture();
    // UI thread: ends a stream whose audio stopped arriving, or looks again when it is due.
    void CheckStall();
    // A new title of the current stream: announced now, or when kTitleInterval is over.
    void OfferTitle(const QString& title);
    void AnnounceTitle(const QString& title);

    std::unique_ptr<Pipeline> m_pipeline;
    std::shared_ptr<Bridge> m_bridge;
    std::chrono::steady_clock::time_point m_urlStartedAt;
    QString m_streamTitle;
    QString m_organization;
    QTimer m_stallTimer;
    // The title rate limit: when the last title was announced, and the newest one waiting.
    std::chrono::steady_clock::time_point m_titleAnnouncedAt{};
    QString m_waitingTitle;
    QTimer m_titleTimer;
    std::optional<double> m_nextLoudnessGain;
    // The gain a filter made when levelling is turned on again starts at.
    double m_loudnessGainDb = 0.0;
};
