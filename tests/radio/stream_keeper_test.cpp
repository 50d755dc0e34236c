// The stream keeper with a real GStreamer player against real servers on 127.0.0.1: streams
// that end, stall or never work, playlists of every kind with a dead first entry, nested
// playlists, shoutcast answers, redirects, and a channel whose address moved.

#include "hosted/MediaPlayer.h"
#include "radio/ManualReconnectTimer.h"
#include "radio/StreamKeeper.h"
#include "support/LocalHttpServer.h"
#include "support/RawStreamServer.h"
#include "support/TestStreams.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>

namespace {

// 128 kbit/s, the test tone's bit rate.
constexpr int kMp3BytesPerSecond = 16000;
const QByteArray kAgent = "Wavelark/3.0";

class StreamKeeperTest : public WithTestStreams
{
protected:
    void SetUp() override
    {
        WithTestStreams::SetUp();
        if (IsSkipped())
            return;
        qputenv("WAVELARK_AUDIO_SINK", "fakesink sync=true");
        m_player = MediaPlayer::Create();
        qunsetenv("WAVELARK_AUDIO_SINK");
        ASSERT_NE(m_player, nullptr);
        m_keeper = std::make_unique<StreamKeeper>(*m_player, kAgent);
        m_firstAudio = std::make_unique<QSignalSpy>(m_player.get(), &MediaPlayer::FirstAudio);
        m_reconnecting =
            std::make_unique<QSignalSpy>(m_keeper.get(), &StreamKeeper::ReconnectingChanged);
    }
    void TearDown() override
    {
        m_keeper.reset();
        if (m_player)
            m_player->close();
    }

    static QByteArray Mp3()
    {
        QFile file(s_streams->FilePath(QStringLiteral("tone.mp3")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static QString ToneUrl() { return s_streams->Url(QStringLiteral("tone.mp3")); }
    static QString DeadUrl()
    {
        return QStringLiteral("http://127.0.0.1:%1/gone.mp3").arg(ClosedLocalPort());
    }

    // A live MP3 stream paced like a real one; `seconds` of audio, then closed or silent.
    static RawStreamServer::Script LiveMp3(double seconds, bool silentAfter)
    {
        RawStreamServer::Script script;
        script.body = Mp3();
        script.bytesPerSecond = kMp3BytesPerSecond;
        script.byteLimit = qint64(seconds * kMp3BytesPerSecond);
        script.silentAfterLimit = silentAfter;
        return script;
    }

    bool WaitFirstAudio(int count, int timeoutMs)
    {
        return WaitUntil([&] { return m_firstAudio->count() >= count; }, timeoutMs);
    }

    std::unique_ptr<MediaPlayer> m_player;
    std::unique_ptr<StreamKeeper> m_keeper;
    std::unique_ptr<QSignalSpy> m_firstAudio;
    std::unique_ptr<QSignalSpy> m_reconnecting;
};

TEST_F(StreamKeeperTest, AStreamThatEndsPlaysAgainWithinThreeSeconds)
{
    RawStreamServer server;
    server.SetScript(LiveMp3(2.0, false));
    ASSERT_TRUE(server.Start());
    QSignalSpy ended(m_player.get(), &MediaPlayer::EndOfStream);
    ASSERT_TRUE(
        m_keeper->Start(QString::fromStdString(server.Root()) + QStringLiteral("live"), {}));
    ASSERT_TRUE(WaitFirstAudio(1, 5000));
    ASSERT_TRUE(WaitUntil([&] { return !ended.isEmpty(); }, 8000));
    QElapsedTimer sinceEnd;
    sinceEnd.start();
    EXPECT_TRUE(m_keeper->IsReconnecting());
    ASSERT_TRUE(WaitFirstAudio(2, 3000)) << "not playing again 3 s after the end";
    std::printf("[ figure ] end of stream to audio again: %lld ms\n", sinceEnd.elapsed());
    EXPECT_FALSE(m_keeper->IsReconnecting());
    ASSERT_GE(m_reconnecting->count(), 2);
    EXPECT_TRUE(m_reconnecting->at(0).at(0).toBool());
    EXPECT_FALSE(m_reconnecting->at(1).at(0).toBool());
    EXPECT_EQ(server.Paths().size(), 2u);
}

// One player on a stream that stops sending with the connection open, another on a stream of
// digital silence: only the first stalls, and it plays again after the stall and first pause.
TEST_F(StreamKeeperTest, AStalledStreamReconnectsButSilenceIsNoStall)
{
    RawStreamServer stalling;
    stalling.SetScript(LiveMp3(1.0, true));
    ASSERT_TRUE(stalling.Start());

    QTemporaryDir folder;
    const QString silence = folder.filePath(QStringLiteral("silence.mp3"));
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("gst-launch-1.0"),
                          {QStringLiteral("-q"), QStringLiteral("audiotestsrc"),
                           QStringLiteral("wave=silence"), QStringLiteral("num-buffers=100"),
                           QStringLiteral("!"), QStringLiteral("lamemp3enc"),
                           QStringLiteral("target=bitrate"), QStringLiteral("bitrate=128"),
                           QStringLiteral("cbr=true"), QStringLiteral("!"),
                           QStringLiteral("filesink"), QStringLiteral("location=") + silence}),
        0);
    QFile silenceFile(silence);
    ASSERT_TRUE(silenceFile.open(QIODevice::ReadOnly));
    RawStreamServer quiet;
    RawStreamServer::Script quietScript;
    quietScript.body = silenceFile.readAll();
    quietScript.bytesPerSecond = kMp3BytesPerSecond;
    quiet.SetScript(quietScript);
    ASSERT_TRUE(quiet.Start());
    qputenv("WAVELARK_AUDIO_SINK", "fakesink sync=true");
    std::unique_ptr<MediaPlayer> quietPlayer = MediaPlayer::Create();
    qunsetenv("WAVELARK_AUDIO_SINK");
    ASSERT_NE(quietPlayer, nullptr);
    QSignalSpy quietStalled(quietPlayer.get(), &MediaPlayer::Stalled);
    ASSERT_TRUE(quietPlayer->put_URL(QString::fromStdString(quiet.Root()) + QStringLiteral("q")));

    QSignalSpy stalled(m_player.get(), &MediaPlayer::Stalled);
    ASSERT_TRUE(
        m_keeper->Start(QString::fromStdString(stalling.Root()) + QStringLiteral("live"), {}));
    ASSERT_TRUE(WaitFirstAudio(1, 5000));
    QElapsedTimer sinceAudio;
    sinceAudio.start();
    const int bound = int(MediaPlayer::kStallTimeout.count()) + 4000;
    ASSERT_TRUE(WaitUntil([&] { return !stalled.isEmpty(); }, bound));
    std::printf("[ figure ] first audio to stall: %lld ms (1 s of audio sent)\n",
                sinceAudio.elapsed());
    EXPECT_TRUE(m_keeper->IsReconnecting());
    QElapsedTimer sinceStall;
    sinceStall.start();
    // The first pause, 1 s, and a connection.
    ASSERT_TRUE(WaitFirstAudio(2, 3000));
    std::printf("[ figure ] stall to audio again: %lld ms\n", sinceStall.elapsed());
    EXPECT_FALSE(m_keeper->IsReconnecting());

    EXPECT_TRUE(quietStalled.isEmpty()) << "a stream of silence was taken for a stall";
    quietPlayer->close();
}

TEST_F(StreamKeeperTest, StopDuringThePauseCancelsTheReconnect)
{
    RawStreamServer server;
    server.SetScript(LiveMp3(1.0, false));
    ASSERT_TRUE(server.Start());
    QSignalSpy ended(m_player.get(), &MediaPlayer::EndOfStream);
    auto owned = std::make_unique<ManualReconnectTimer>();
    ManualReconnectTimer& pause = *owned;
    m_keeper->SetTimer(std::move(owned));
    ASSERT_TRUE(
        m_keeper->Start(QString::fromStdString(server.Root()) + QStringLiteral("live"), {}));
    ASSERT_TRUE(WaitUntil([&] { return !ended.isEmpty(); }, 8000));
    ASSERT_TRUE(m_keeper->IsReconnecting());
    ASSERT_TRUE(pause.IsRunning());
    m_keeper->Stop();
    EXPECT_FALSE(m_keeper->IsReconnecting());
    EXPECT_FALSE(m_keeper->IsActive());
    // Every pause the policy could owe runs out: nothing connects again.
    pause.Advance(ReconnectPolicy::kLongPause);
    QCoreApplication::processEvents();
    EXPECT_EQ(server.Paths().size(), 1u) << "reconnected after Stop";
    EXPECT_EQ(m_firstAudio->count(), 1);
}

TEST_F(StreamKeeperTest, EveryPlaylistKindFallsBackFromADeadFirstEntry)
{
    const QString dead = DeadUrl();
    const QString tone = ToneUrl();
    struct Case
    {
        const char* path;
        const char* type;
        QString body;
    };
    const std::vector<Case> cases = {
        {"/list.pls", "audio/x-scpls",
         QStringLiteral("[playlist]\nNumberOfEntries=2\nFile1=%1\nFile2=%2\n").arg(dead, tone)},
        {"/list.m3u", "audio/x-mpegurl", QStringLiteral("#EXTM3U\n%1\n%2\n").arg(dead, tone)},
        {"/list.asx", "video/x-ms-asf",
         QStringLiteral("<ASX version=\"3.0\"><Entry><Ref href=\"%1\"/></Entry>"
                        "<Entry><Ref href=\"%2\"/></Entry></ASX>")
             .arg(dead, tone)},
        {"/list.xspf", "application/xspf+xml",
         QStringLiteral("<?xml version=\"1.0\"?><playlist version=\"1\" "
                        "xmlns=\"http://xspf.org/ns/0/\"><trackList><track><location>%1"
                        "</location></track><track><location>%2</location></track></trackList>"
                        "</playlist>")
             .arg(dead, tone)},
        // By content alone, behind an address that says nothing of a playlist.
        {"/station", "text/plain",
         QStringLiteral("[playlist]\nFile1=%1\nFile2=%2\n").arg(dead, tone)},
        // Nested: an M3U naming the PLS above, the relative way.
        {"/nested.m3u", "audio/x-mpegurl", QStringLiteral("list.pls\n")},
    };
    LocalHttpServer http;
    http.server().set_keep_alive_timeout(1);
    for (const Case& c : cases) {
        const std::string body = c.body.toStdString();
        const std::string type = c.type;
        http.server().Get(c.path, [body, type](const httplib::Request&, httplib::Response& r) {
            r.set_content(body, type);
        });
    }
    // A moved playlist address.
    http.server().Get("/moved", [&http](const httplib::Request&, httplib::Response& r) {
        r.set_redirect(http.Root() + "list.m3u");
    });
    ASSERT_TRUE(http.Start());
    std::vector<std::string> paths;
    for (const Case& c : cases)
        paths.push_back(c.path);
    paths.push_back("/moved");
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        m_firstAudio->clear();
        ASSERT_TRUE(m_keeper->Start(QString::fromStdString(http.Root() + path.substr(1)), {}));
        EXPECT_TRUE(WaitFirstAudio(1, 8000)) << "the second entry did not play";
        EXPECT_FALSE(m_keeper->IsReconnecting());
        m_keeper->Stop();
        m_player->close();
    }
}

TEST_F(StreamKeeperTest, ShoutcastAnswersPlayDirectlyAndFromAPlaylist)
{
    RawStreamServer shoutcast;
    RawStreamServer::Script script = LiveMp3(30.0, false);
    script.head = "ICY 200 OK\r\nicy-name: Test\r\ncontent-type: audio/mpeg\r\nicy-br: 128";
    shoutcast.SetScript(script);
    ASSERT_TRUE(shoutcast.Start());
    const QString stream = QString::fromStdString(shoutcast.Root()) + QStringLiteral("stream");
    LocalHttpServer http;
    http.server().set_keep_alive_timeout(1);
    const std::string pls = "[playlist]\nFile1=" + stream.toStdString() + "\n";
    http.server().Get("/icy.pls", [pls](const httplib::Request&, httplib::Response& r) {
        r.set_content(pls, "audio/x-scpls");
    });
    ASSERT_TRUE(http.Start());
    for (const QString& address :
         {stream, QString::fromStdString(http.Root()) + QStringLiteral("icy.pls")}) {
        SCOPED_TRACE(address.toStdString());
        m_firstAudio->clear();
        ASSERT_TRUE(m_keeper->Start(address, {}));
        EXPECT_TRUE(WaitFirstAudio(1, 8000));
        m_keeper->Stop();
        m_player->close();
    }
}

TEST_F(StreamKeeperTest, AnAddressThatKeepsFailingIsFetchedAgainOnce)
{
    std::atomic<int> fetches{0};
    const QString tone = ToneUrl();
    auto fetchAgain = [&fetches, tone](const std::atomic<bool>&) {
        ++fetches;
        return tone;
    };
    ASSERT_TRUE(m_keeper->Start(DeadUrl(), fetchAgain));
    ASSERT_TRUE(WaitUntil([&] { return m_keeper->IsReconnecting(); }, 3000));
    // Three silent failures (pauses 1, 2 and 4 s), then the fetch and the new address.
    EXPECT_TRUE(WaitFirstAudio(1, 12000));
    EXPECT_EQ(fetches.load(), 1);
    EXPECT_FALSE(m_keeper->IsReconnecting());
}

} // namespace
