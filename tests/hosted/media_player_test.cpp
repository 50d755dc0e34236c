#include "PlayerFixture.h"
#include "support/LocalHttpServer.h"
#include "support/RawStreamServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <atomic>
#include <dlfcn.h>
#include <gst/gst.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

class MediaPlayerTest : public PlayerFixture
{
};

TEST_F(MediaPlayerTest, StartsOggAndMp3StreamsWithoutAPlayCall)
{
    struct Case
    {
        const char* name;
        QString address;
    };
    const std::vector<Case> cases = {
        {"Ogg Vorbis", Streams().Url(QStringLiteral("tone.ogg"))},
        {"MP3", Streams().Url(QStringLiteral("tone.mp3"))},
        {"address ending in CR", Streams().Url(QStringLiteral("tone.mp3")) + QLatin1Char('\r')},
        {"address ending in CR LF",
         Streams().Url(QStringLiteral("tone.ogg")) + QStringLiteral("\r\n")},
        {"upper-case scheme",
         Streams().Url(QStringLiteral("tone.ogg")).replace(0, 4, QStringLiteral("HTTP"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto player = MakePlayer(kPacedSink);
        ASSERT_TRUE(player);
        QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
        QSignalSpy errors(player.get(), &MediaPlayer::PlaybackError);
        EXPECT_TRUE(player->put_URL(c.address));
        EXPECT_TRUE(WaitUntil([&] { return firstAudio.count() > 0 || errors.count() > 0; },
                              kStartTimeoutMs));
        EXPECT_EQ(firstAudio.count(), 1);
        EXPECT_EQ(errors.count(), 0);
        if (!firstAudio.isEmpty()) {
            EXPECT_GE(firstAudio.first().first().toLongLong(), 0);
        }
    }
}

TEST_F(MediaPlayerTest, RefusedAddressesPlayNothing)
{
    auto player = MakePlayer(kPacedSink);
    ASSERT_TRUE(player);
    QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
    QSignalSpy errors(player.get(), &MediaPlayer::PlaybackError);
    const QString local = Streams().FilePath(QStringLiteral("tone.ogg"));
    const QString served = Streams().Url(QStringLiteral("tone.ogg"));
    const QString refused[] = {
        QStringLiteral("file://") + local,
        QStringLiteral("FILE://") + local,
        local,
        QStringLiteral("data:audio/ogg;base64,T2dnUw=="),
        QString(),
        QStringLiteral("   "),
        QStringLiteral("javascript:alert(1)"),
        served.mid(served.indexOf(QStringLiteral("127.0.0.1"))), // no scheme
        served.left(served.size() - 4) + QStringLiteral(" x.ogg"),
        served + QStringLiteral("\nfile://") + local,
    };
    for (const QString& address : refused) {
        SCOPED_TRACE(address.toStdString());
        EXPECT_FALSE(player->put_URL(address));
    }
    Settle(400);
    EXPECT_EQ(firstAudio.count(), 0);
    EXPECT_EQ(errors.count(), 0);
}

TEST_F(MediaPlayerTest, RefusedAddressLeavesTheCurrentStreamPlaying)
{
    auto player = MakePlayer(kPacedSink);
    ASSERT_TRUE(player);
    QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
    QSignalSpy ended(player.get(), &MediaPlayer::EndOfStream);
    ASSERT_TRUE(player->put_URL(Streams().Url(QStringLiteral("tone.mp3"))));
    ASSERT_TRUE(WaitUntil([&] { return firstAudio.count() > 0; }, kStartTimeoutMs));

    std::vector<QString> refused = {
        QStringLiteral("file://") + Streams().FilePath(QStringLiteral("tone.ogg")),
        QStringLiteral("   "),
    };
    // A stream scheme that no installed GStreamer element opens is refused up front too.
    for (const char* scheme : {"mms", "mmsh", "mmst", "mmsu", "rtmp", "rtsp"}) {
        if (!gst_uri_protocol_is_supported(GST_URI_SRC, scheme))
            refused.push_back(QStringLiteral("%1://127.0.0.1:%2/radio")
                                  .arg(QLatin1String(scheme))
                                  .arg(ClosedLocalPort()));
    }
    for (const QString& address : refused) {
        SCOPED_TRACE(address.toStdString());
        EXPECT_FALSE(player->put_URL(address));
    }
    // The stream plays on to its own end; a stop would have silenced the end-of-stream news.
    EXPECT_TRUE(WaitUntil([&] { return ended.count() > 0; },
                          int(TestStreams::kToneSeconds * 1000) + kStartTimeoutMs));
    EXPECT_EQ(firstAudio.count(), 1);
}

TEST_F(MediaPlayerTest, UnreachableStreamsReportAnErrorAndThePlayerRecovers)
{
    struct Case
    {
        const char* name;
        QString address;
    };
    const std::vector<Case> cases = {
        {"missing mount (404)", Streams().Url(QStringLiteral("no-such-channel.ogg"))},
        {"closed port", QStringLiteral("http://127.0.0.1:%1/ch1.ogg").arg(ClosedLocalPort())},
        {"unsupported stream scheme",
         QStringLiteral("rtmp://127.0.0.1:%1/live").arg(ClosedLocalPort())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto player = MakePlayer(kPacedSink);
        ASSERT_TRUE(player);
        QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
        QSignalSpy errors(player.get(), &MediaPlayer::PlaybackError);
        // Accepting the address is allowed: the failure is only known once the network answers.
        if (player->put_URL(c.address)) {
            EXPECT_TRUE(WaitUntil([&] { return errors.count() > 0; }, kStartTimeoutMs));
            EXPECT_FALSE(errors.isEmpty() || errors.first().first().toString().isEmpty());
        }
        Settle(200);
        EXPECT_LE(errors.count(), 1) << "a failed stream is reported once and not retried";
        EXPECT_EQ(firstAudio.count(), 0);

        // The same player plays the next good address.
        EXPECT_TRUE(player->put_URL(Streams().Url(QStringLiteral("tone.ogg"))));
        EXPECT_TRUE(WaitUntil([&] { return firstAudio.count() > 0; }, kStartTimeoutMs));
    }
}

bool Loaded(const char* library)
{
    void* handle = dlopen(library, RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

// Whether the dynamic linker's cache lists `library`; asking dlopen would load it.
bool Installed(const QString& library)
{
    const QString ldconfig = QStandardPaths::findExecutable(
        QStringLiteral("ldconfig"), {QStringLiteral("/sbin"), QStringLiteral("/usr/sbin")});
    if (ldconfig.isEmpty())
        return false;
    QProcess cache;
    cache.start(ldconfig, {QStringLiteral("-p")});
    if (!cache.waitForFinished(5000))
        return false;
    return QString::fromLocal8Bit(cache.readAllStandardOutput())
        .contains(library + QLatin1Char(' '));
}

// libsoup 3.2 crashes the HTTP source when a request is cancelled as its answer arrives (a
// station stopped or switched while connecting); with libsoup 2.4 installed it must be the one
// the source runs on, which only holds if the player loads it before anything loads libsoup 3.
TEST_F(MediaPlayerTest, HttpStreamsRunOnLibsoup2WhenItIsInstalled)
{
    if (!Installed(QStringLiteral("libsoup-2.4.so.1")))
        GTEST_SKIP() << "libsoup 2.4 is not installed";
    auto player = MakePlayer(kPacedSink);
    ASSERT_TRUE(player);
    QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
    EXPECT_TRUE(player->put_URL(Streams().Url(QStringLiteral("tone.ogg"))));
    EXPECT_TRUE(WaitUntil([&] { return firstAudio.count() > 0; }, kStartTimeoutMs));
    EXPECT_TRUE(Loaded("libsoup-2.4.so.1"));
    EXPECT_FALSE(Loaded("libsoup-3.0.so.0"));
}

TEST_F(MediaPlayerTest, SwitchingStreamsQuicklyPlaysOnlyTheLast)
{
    auto player = MakePlayer(kPacedSink);
    ASSERT_TRUE(player);
    QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
    QSignalSpy errors(player.get(), &MediaPlayer::PlaybackError);
    QSignalSpy titles(player.get(), &MediaPlayer::StreamTitleChanged);
    EXPECT_TRUE(player->put_URL(Streams().Url(QStringLiteral("titled.ogg"))));
    EXPECT_TRUE(player->put_URL(Streams().Url(QStringLiteral("tone.mp3"))));
    EXPECT_TRUE(player->put_URL(Streams().Url(QStringLiteral("tone.ogg"))));
    EXPECT_TRUE(WaitUntil([&] { return firstAudio.count() > 0; }, kStartTimeoutMs));
    Settle(500);
    EXPECT_EQ(firstAudio.count(), 1);
    EXPECT_EQ(errors.count(), 0);
    EXPECT_EQ(titles.count(), 0) << "the replaced titled stream must not leak its title";

    // And once more after playback has really started.
    EXPECT_TRUE(player->put_URL(Streams().Url(QStringLiteral("tone.mp3"))));
    EXPECT_TRUE(WaitUntil([&] { return firstAudio.count() > 1; }, kStartTimeoutMs));
    EXPECT_EQ(errors.count(), 0);
}

TEST_F(MediaPlayerTest, StreamTitleTagIsAnnouncedOnce)
{
    auto player = MakePlayer(kPacedSink);
    ASSERT_TRUE(player);
    QSignalSpy titles(player.get(), &MediaPlayer::StreamTitleChanged);
    ASSERT_TRUE(player->put_URL(Streams().Url(QStringLiteral("titled.ogg"))));
    ASSERT_TRUE(WaitUntil([&] { return titles.count() > 0; }, kStartTimeoutMs));
    Settle(300);
    ASSERT_EQ(titles.count(), 1) << "repeated tag messages with the same title are not news";
    EXPECT_EQ(titles.first().first().toString(), QLatin1String(TestStreams::kToneTitle));

    // A new put_URL of the same stream announces the title again.
    ASSERT_TRUE(player->put_URL(Streams().Url(QStringLiteral("titled.ogg"))));
    EXPECT_TRUE(WaitUntil([&] { return titles.count() > 1; }, kStartTimeoutMs));
}

TEST_F(MediaPlayerTest, FastTitlesAreAnnouncedAtMostOnceASecondTheNewestWinning)
{
    // A shoutcast-style stream whose title changes every 1000 bytes, about 16 times a second:
    // 40 titles, then the connection stays open without another byte.
    QFile file(Streams().FilePath(QStringLiteral("tone.mp3")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray mp3 = file.readAll();
    constexpr int kMetaInterval = 1000;
    constexpr int kTitles = 40;
    ASSERT_GE(mp3.size(), kMetaInterval * kTitles);
    RawStreamServer::Script script;
    script.head = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-metaint: " +
                  QByteArray::number(kMetaInterval);
    for (int i = 0; i < kTitles; ++i) {
        script.body += mp3.mid(qsizetype(i) * kMetaInterval, kMetaInterval);
        QByteArray meta = "StreamTitle='Title " + QByteArray::number(i) + "';";
        const int blocks = int(meta.size() + 15) / 16;
        meta.resize(blocks * 16, '\0');
        script.body += char(blocks) + meta;
    }
    script.bytesPerSecond = 16000;
    // A little of the next round's audio, so that the last title block is read through.
    script.byteLimit = script.body.size() + kMetaInterval / 2;
    script.silentAfterLimit = true;
    RawStreamServer server;
    ASSERT_TRUE(server.Start());
    server.SetScript(script);

    auto player = MakePlayer(kPacedSink);
    ASSERT_TRUE(player);
    QElapsedTimer clock;
    std::vector<std::pair<qint64, QString>> announced;
    QObject::connect(player.get(), &MediaPlayer::StreamTitleChanged,
                     [&](const QString& title) { announced.emplace_back(clock.elapsed(), title); });
    clock.start();
    ASSERT_TRUE(player->put_URL(QString::fromStdString(server.Root()) + QStringLiteral("live")));
    // The whole body takes about 2.6 s; the newest title follows at most a second later.
    EXPECT_TRUE(WaitUntil(
        [&] { return !announced.empty() && announced.back().second == QStringLiteral("Title 39"); },
        8000));
    ASSERT_GE(announced.size(), 2u);
    EXPECT_LE(announced.size(), 5u);
    for (size_t i = 1; i < announced.size(); ++i)
        EXPECT_GE(announced[i].first - announced[i - 1].first, 950) << "announcement " << i;
    player->close();
}

// The player's log lines, gathered while it lives.
class PlayerLog
{
public:
    PlayerLog() { s_previous = qInstallMessageHandler(&PlayerLog::Handle); }
    ~PlayerLog() { qInstallMessageHandler(s_previous); }
    PlayerLog(const PlayerLog&) = delete;
    PlayerLog& operator=(const PlayerLog&) = delete;

    static QByteArray Text()
    {
        const std::lock_guard lock(s_mutex);
        return s_text;
    }

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        {
            const std::lock_guard lock(s_mutex);
            s_text += message.toUtf8() + '\n';
        }
        s_previous(type, context, message);
    }

    static inline std::mutex s_mutex;
    static inline QByteArray s_text;
    static inline QtMessageHandler s_previous = nullptr;
};

// What a stream server says reaches the log with its control characters made visible: the
// reason phrase of an error answer and a stream title, each carrying a terminal's escape
// sequences (ESC ] 0 sets the window title, ESC ] 52 writes the clipboard).
TEST_F(MediaPlayerTest, ServerTextsReachTheLogEscaped)
{
    const PlayerLog log;
    RawStreamServer server;
    ASSERT_TRUE(server.Start());
    RawStreamServer::Script missing;
    missing.head = "HTTP/1.0 404 \x1B]0;pwned\x07 Gone\r\nContent-Type: text/plain";
    missing.body = "gone";
    missing.byteLimit = 4;
    server.SetScript(missing);

    auto player = MakePlayer(kPacedSink);
    ASSERT_TRUE(player);
    QSignalSpy errors(player.get(), &MediaPlayer::PlaybackError);
    QSignalSpy titles(player.get(), &MediaPlayer::StreamTitleChanged);
    ASSERT_TRUE(player->put_URL(QString::fromStdString(server.Root()) + QStringLiteral("gone")));
    ASSERT_TRUE(WaitUntil([&] { return !errors.isEmpty(); }, kStartTimeoutMs));

    QFile file(Streams().FilePath(QStringLiteral("tone.mp3")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    constexpr int kMetaInterval = 1000;
    RawStreamServer::Script titled;
    titled.head = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-metaint: " +
                  QByteArray::number(kMetaInterval);
    QByteArray meta = "StreamTitle='\x1B]52;c;ZXZpbA==\x07 Song';";
    meta.resize((meta.size() + 15) / 16 * 16, '\0');
    const QByteArray mp3 = file.readAll();
    for (qsizetype at = 0; at + kMetaInterval <= mp3.size(); at += kMetaInterval)
        titled.body += mp3.mid(at, kMetaInterval) + (at == 0 ? char(meta.size() / 16) + meta : "\0");
    titled.bytesPerSecond = 16000;
    server.SetScript(titled);
    ASSERT_TRUE(player->put_URL(QString::fromStdString(server.Root()) + QStringLiteral("live")));
    ASSERT_TRUE(WaitUntil([&] { return !titles.isEmpty(); }, kStartTimeoutMs));
    player->close();

    const QByteArray text = PlayerLog::Text();
    EXPECT_TRUE(text.contains("\\x1B]0;pwned\\x07 Gone")) << text.toStdString();
    EXPECT_TRUE(text.contains("stream title: \"\\x1B]52;c;ZXZpbA==\\x07 Song\""))
        << text.toStdString();
    EXPECT_FALSE(text.contains('\x1B'));
    EXPECT_FALSE(text.contains('\x07'));
}

TEST_F(MediaPlayerTest, StreamRequestsCarryTheProgramsUserAgent)
{
    QFile file(Streams().FilePath(QStringLiteral("tone.mp3")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string mp3 = file.readAll().toStdString();
    LocalHttpServer server;
    std::mutex mutex;
    std::vector<std::string> agents;
    server.server().Get("/tone.mp3",
                        [&](const httplib::Request& request, httplib::Response& response) {
                            {
                                const std::lock_guard lock(mutex);
                                agents.push_back(request.get_header_value("User-Agent"));
                            }
                            response.set_content(mp3, "audio/mpeg");
                        });
    ASSERT_TRUE(server.Start());

    auto player = MakePlayer(kPacedSink);
    ASSERT_TRUE(player);
    player->SetUserAgent("Wavelark/3.0");
    QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
    ASSERT_TRUE(player->put_URL(QString::fromStdString(server.Root() + "tone.mp3")));
    EXPECT_TRUE(WaitUntil([&] { return !firstAudio.isEmpty(); }, kStartTimeoutMs));
    player->close();
    const std::lock_guard lock(mutex);
    ASSERT_FALSE(agents.empty());
    for (const std::string& agent : agents)
        EXPECT_EQ(agent, "Wavelark/3.0");
}

// A certificate and key for 127.0.0.1 in `folder`, as cert.pem and key.pem.
void MakeCertificate(const TempFolder& folder)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                   QStringLiteral("1"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                   QStringLiteral("-keyout"), folder.FilePath(QStringLiteral("key.pem")),
                   QStringLiteral("-out"), folder.FilePath(QStringLiteral("cert.pem"))});
    ASSERT_TRUE(openssl.waitForFinished(30000));
    ASSERT_EQ(openssl.exitCode(), 0) << openssl.readAllStandardError().toStdString();
}

TEST_F(MediaPlayerTest, AnHttpsStreamRedirectedToHttpDoesNotPlay)
{
    // A certificate for 127.0.0.1, trusted through the player's extra authority file.
    const QString cert = m_folder.FilePath(QStringLiteral("cert.pem"));
    const QString key = m_folder.FilePath(QStringLiteral("key.pem"));
    ASSERT_NO_FATAL_FAILURE(MakeCertificate(m_folder));

    QFile file(Streams().FilePath(QStringLiteral("tone.mp3")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string mp3 = file.readAll().toStdString();
    const auto serveTone = [mp3](const httplib::Request&, httplib::Response& response) {
        response.set_content(mp3, "audio/mpeg");
    };
    LocalHttpServer plain;
    plain.server().Get("/tone.mp3", serveTone);
    ASSERT_TRUE(plain.Start());

    httplib::SSLServer secure(cert.toLocal8Bit().constData(), key.toLocal8Bit().constData());
    ASSERT_TRUE(secure.is_valid());
    const int port = secure.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    const std::string secureRoot = "https://127.0.0.1:" + std::to_string(port) + "/";
    secure.Get("/tone.mp3", serveTone);
    secure.Get("/up", [&](const httplib::Request&, httplib::Response& response) {
        response.set_redirect(secureRoot + "tone.mp3");
    });
    secure.Get("/down", [&](const httplib::Request&, httplib::Response& response) {
        response.set_redirect(plain.Root() + "tone.mp3");
    });
    std::thread serving([&] { secure.listen_after_bind(); });
    const auto stopServing = qScopeGuard([&] {
        secure.stop();
        serving.join();
    });
    qputenv("WAVELARK_STREAM_CA_FILE", cert.toLocal8Bit());
    const auto forgetAuthority = qScopeGuard([] { qunsetenv("WAVELARK_STREAM_CA_FILE"); });

    auto player = MakePlayer(kPacedSink);
    ASSERT_TRUE(player);
    QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
    QSignalSpy errors(player.get(), &MediaPlayer::PlaybackError);

    // From https to https: it plays, so the certificate is trusted.
    ASSERT_TRUE(player->put_URL(QString::fromStdString(secureRoot + "up")));
    ASSERT_TRUE(WaitUntil([&] { return !firstAudio.isEmpty(); }, kStartTimeoutMs))
        << "an https stream does not play here at all";
    EXPECT_TRUE(errors.isEmpty());

    // From https down to http: an error, and not a moment of its audio.
    firstAudio.clear();
    ASSERT_TRUE(player->put_URL(QString::fromStdString(secureRoot + "down")));
    EXPECT_TRUE(WaitUntil([&] { return !errors.isEmpty(); }, kStartTimeoutMs));
    Settle(500);
    EXPECT_TRUE(firstAudio.isEmpty());
    player->close();

    const struct
    {
        const char* from;
        const char* to;
        bool refused;
    } redirects[] = {
        {"https://a.example/x", "http://b.example/y", true},
        {"HTTPS://a.example/x", "Http://b.example/y", true},
        {"https://a.example/x", "icy://b.example/y", true},
        {"https://a.example/x", "https://b.example/y", false},
        {"https://a.example/x", "HTTPS://b.example/y", false},
        {"http://a.example/x", "http://b.example/y", false},
        {"http://a.example/x", "https://b.example/y", false},
    };
    for (const auto& r : redirects)
        EXPECT_EQ(MediaPlayer::IsDowngradingRedirect(r.from, r.to), r.refused)
            << r.from << " -> " << r.to;
}

// An HLS stream asked for over https takes its segments over https: one listed over plain http
// is refused as a redirect to http is, before it is ever asked for.
TEST_F(MediaPlayerTest, AnHttpsHlsStreamTakesNoSegmentOverPlainHttp)
{
    ASSERT_NO_FATAL_FAILURE(MakeCertificate(m_folder));
    const QString cert = m_folder.FilePath(QStringLiteral("cert.pem"));
    const QString key = m_folder.FilePath(QStringLiteral("key.pem"));

    // The tone as one MPEG transport stream segment.
    const QString segmentPath = m_folder.FilePath(QStringLiteral("segment.ts"));
    {
        GstElement* raw = gst_parse_launch(
            QStringLiteral("filesrc location=\"%1\" ! mpegaudioparse ! mpegtsmux ! "
                           "filesink location=\"%2\"")
                .arg(Streams().FilePath(QStringLiteral("tone.mp3")), segmentPath)
                .toUtf8()
                .constData(),
            nullptr);
        ASSERT_NE(raw, nullptr);
        GstElement* pipeline = GST_ELEMENT(gst_object_ref_sink(raw));
        GstBus* bus = gst_element_get_bus(pipeline);
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        GstMessage* end = gst_bus_timed_pop_filtered(
            bus, 20 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        const bool ended = end && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS;
        if (end)
            gst_message_unref(end);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(bus);
        gst_object_unref(pipeline);
        ASSERT_TRUE(ended) << "no transport stream segment";
    }
    QFile segmentFile(segmentPath);
    ASSERT_TRUE(segmentFile.open(QIODevice::ReadOnly));
    const std::string segment = segmentFile.readAll().toStdString();
    const auto serveSegment = [segment](const httplib::Request&, httplib::Response& response) {
        response.set_content(segment, "video/mp2t");
    };

    std::atomic<int> plainSegments{0};
    LocalHttpServer plain;
    plain.server().Get("/segment.ts", [&](const httplib::Request& request,
                                          httplib::Response& response) {
        ++plainSegments;
        serveSegment(request, response);
    });
    ASSERT_TRUE(plain.Start());

    httplib::SSLServer secure(cert.toLocal8Bit().constData(), key.toLocal8Bit().constData());
    ASSERT_TRUE(secure.is_valid());
    const int port = secure.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    const std::string secureRoot = "https://127.0.0.1:" + std::to_string(port) + "/";
    const auto playlist = [](const std::string& segmentAddress) {
        return "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:4\n#EXT-X-MEDIA-SEQUENCE:0\n"
               "#EXTINF:3.0,\n" +
               segmentAddress + "\n#EXT-X-ENDLIST\n";
    };
    secure.Get("/segment.ts", serveSegment);
    secure.Get("/secure.m3u8", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(playlist("segment.ts"), "application/vnd.apple.mpegurl");
    });
    secure.Get("/mixed.m3u8", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(playlist(plain.Root() + "segment.ts"),
                             "application/vnd.apple.mpegurl");
    });
    std::thread serving([&] { secure.listen_after_bind(); });
    const auto stopServing = qScopeGuard([&] {
        secure.stop();
        serving.join();
    });
    qputenv("WAVELARK_STREAM_CA_FILE", cert.toLocal8Bit());
    const auto forgetAuthority = qScopeGuard([] { qunsetenv("WAVELARK_STREAM_CA_FILE"); });

    auto player = MakePlayer(kPacedSink);
    ASSERT_TRUE(player);
    QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
    QSignalSpy errors(player.get(), &MediaPlayer::PlaybackError);

    // Segments over https: it plays, so HLS and the certificate work here.
    ASSERT_TRUE(player->put_URL(QString::fromStdString(secureRoot + "secure.m3u8")));
    ASSERT_TRUE(WaitUntil([&] { return !firstAudio.isEmpty(); }, 3 * kStartTimeoutMs))
        << "an https HLS stream does not play here at all";
    EXPECT_TRUE(errors.isEmpty());

    // A segment over plain http: an error, no audio, and no request for it.
    firstAudio.clear();
    ASSERT_TRUE(player->put_URL(QString::fromStdString(secureRoot + "mixed.m3u8")));
    EXPECT_TRUE(WaitUntil([&] { return !errors.isEmpty(); }, 3 * kStartTimeoutMs));
    Settle(500);
    EXPECT_TRUE(firstAudio.isEmpty());
    EXPECT_EQ(plainSegments.load(), 0);
    player->close();
}

TEST_F(MediaPlayerTest, UnusableSinkDescriptionFallsBackToTheDefaultSink)
{
    const char* const descriptions[] = {
        "no_such_sink_element",
        "fakesink no-such-property=1",
        "audioconvert ! ! fakesink",
        "audiotestsrc", // produces audio instead of taking it
        "   ",
    };
    for (const char* description : descriptions) {
        SCOPED_TRACE(description);
        auto player = MakePlayer(description);
        ASSERT_TRUE(player);
        QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
        EXPECT_TRUE(player->put_URL(Streams().Url(QStringLiteral("tone.mp3"))));
        EXPECT_TRUE(WaitUntil([&] { return firstAudio.count() > 0; }, kStartTimeoutMs));
    }
}

TEST_F(MediaPlayerTest, CloseStopsAndPlayerStartsAgain)
{
    auto player = MakePlayer(kPacedSink);
    ASSERT_TRUE(player);
    QSignalSpy firstAudio(player.get(), &MediaPlayer::FirstAudio);
    QSignalSpy ended(player.get(), &MediaPlayer::EndOfStream);
    EXPECT_TRUE(player->close()) << "closing an idle player succeeds";
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(player->put_URL(Streams().Url(QStringLiteral("tone.ogg"))));
        ASSERT_TRUE(WaitUntil([&] { return firstAudio.count() > round; }, kStartTimeoutMs));
        EXPECT_TRUE(player->close());
    }
    Settle(300);
    EXPECT_EQ(ended.count(), 0);
    EXPECT_EQ(firstAudio.count(), 2);
}

} // namespace
