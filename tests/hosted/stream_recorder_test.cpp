#include "PlayerFixture.h"
#include "hosted/OggPages.h"
#include "hosted/RecordingNames.h"
#include "hosted/StreamRecorder.h"
#include "support/RawStreamServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <sys/mount.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

namespace {

QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The bytes after an ID3v2 tag at the start, if there is one.
QByteArray WithoutId3(const QByteArray& bytes)
{
    if (!bytes.startsWith("ID3") || bytes.size() < 10)
        return bytes;
    qsizetype size = 0;
    for (int i = 6; i < 10; ++i)
        size = (size << 7) | (static_cast<unsigned char>(bytes[i]) & 0x7f);
    const bool footer = static_cast<unsigned char>(bytes[5]) & 0x10;
    return bytes.mid(10 + size + (footer ? 10 : 0));
}

// The duration gst-discoverer-1.0 finds in the file, in seconds; negative when it reads none.
double DiscoveredSeconds(const QString& path)
{
    QProcess discoverer;
    discoverer.start(QStringLiteral("gst-discoverer-1.0"), {path});
    if (!discoverer.waitForFinished(30000))
        return -1;
    const QString out = QString::fromUtf8(discoverer.readAllStandardOutput());
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("Duration: (\\d+):(\\d+):(\\d+\\.\\d+)")).match(out);
    if (discoverer.exitCode() != 0 || !match.hasMatch())
        return -1;
    return match.captured(1).toDouble() * 3600 + match.captured(2).toDouble() * 60 +
           match.captured(3).toDouble();
}

// A Shoutcast stream: MP3 audio with metadata every kMetaInterval bytes. Each block of audio
// is followed by a metadata block naming a new title (or an empty one: no change). It
// remembers which audio bytes it sent under which title.
struct IcyStream
{
    static constexpr qsizetype kMetaInterval = 16000;

    QByteArray body;
    QList<std::pair<QString, QByteArray>> spans; // title ("" before the first) and its audio

    // `titles[i]` follows audio block i; an empty one changes nothing.
    IcyStream(const QByteArray& mp3, const QStringList& titles)
    {
        qsizetype at = 0;
        spans.append({QString(), QByteArray()});
        for (const QString& title : titles) {
            QByteArray audio;
            while (audio.size() < kMetaInterval) {
                const qsizetype take = std::min(kMetaInterval - audio.size(), mp3.size() - at);
                audio += mp3.mid(at, take);
                at = (at + take) % mp3.size();
            }
            body += audio;
            spans.last().second += audio;
            if (title.isEmpty()) {
                body += '\0';
                continue;
            }
            QByteArray metadata = "StreamTitle='" + title.toUtf8() + "';";
            metadata.resize((metadata.size() + 15) / 16 * 16, '\0');
            body += char(metadata.size() / 16);
            body += metadata;
            spans.append({title, QByteArray()});
        }
    }
};

} // namespace

TEST(RecordingNamesTest, NamesLosePathAndControlCharactersAndAreCutOnCharacterBoundaries)
{
    const struct
    {
        QString text;
        QString expected;
    } cases[] = {
        {U("Artist - Song"), U("Artist - Song")},
        {U("AC/DC - Back in Black"), U("ACDC - Back in Black")},
        {U("Line\nbreak\ttab\x01"), U("Linebreaktab")},
        {QString(QStringLiteral("nul")) + QChar(0) + QStringLiteral("here"), U("nulhere")},
        {U(".."), U("_")},
        {U("  /  "), U("_")},
        {U("Caf\xc3\xa9 \xf0\x9f\x8e\xb5"), U("Caf\xc3\xa9 \xf0\x9f\x8e\xb5")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SafeNamePart(c.text), c.expected) << c.text.toStdString();

    // 199 ASCII bytes and a 4-byte character: the character does not fit and is dropped whole.
    const QString longName = QString(199, QLatin1Char('a')) + U("\xf0\x9f\x8e\xb5") + U("tail");
    EXPECT_EQ(SafeNamePart(longName), QString(199, QLatin1Char('a')));
    const QString accented = QString(150, QChar(0xe9)); // 300 bytes of UTF-8
    EXPECT_EQ(SafeNamePart(accented).toUtf8().size(), 200);

    EXPECT_EQ(RecordingFileName(QDateTime(QDate(2026, 12, 11), QTime(9, 5, 7)), U("A/B - C"),
                                QStringLiteral("mp3")),
              U("2026-12-11 09.05.07 - AB - C.mp3"));
    EXPECT_EQ(SplitArtistAndTitle(U("Artist - Song - Live")),
              std::make_pair(U("Artist"), U("Song - Live")));
    EXPECT_EQ(SplitArtistAndTitle(U("Just a title")), std::make_pair(QString(), U("Just a title")));
}

TEST(RecordingNamesTest, StreamTypeFromTheFirstBytes)
{
    const struct
    {
        QByteArray bytes;
        const char* extension;
    } cases[] = {
        {QByteArray("OggS\0\x02", 6) + QByteArray(22, '\0') + "\x01vorbis", "ogg"},
        {QByteArray("OggS\0\x02", 6) + QByteArray(22, '\0') + "OpusHead", "opus"},
        {"ID3\x04", "mp3"},
        {QByteArray("junk\xff\xfb\x90\x64", 8), "mp3"}, // MPEG-1 layer III, mid-stream
        {QByteArray("\xff\xf1\x50\x80", 4), "aac"},     // ADTS
        {"#EXTM3U\n#EXT-X-VERSION:3\n", ""},            // an HLS playlist, not media
        {"<html>", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StreamExtension(c.bytes), QString::fromLatin1(c.extension))
            << c.bytes.toHex().constData();
}

class StreamRecorderTest : public PlayerFixture
{
protected:
    QByteArray ToneMp3() const { return ReadAll(Streams().FilePath(QStringLiteral("tone.mp3"))); }

    // Plays `server`'s stream to its end with a recording running from the start.
    void RecordToTheEnd(RawStreamServer& server, StreamRecorder& recorder, MediaPlayer& player,
                        const QString& folder)
    {
        QSignalSpy ended(&player, &MediaPlayer::EndOfStream);
        QSignalSpy failed(&player, &MediaPlayer::PlaybackError);
        recorder.Start(folder, QStringLiteral("Test Channel"), QString());
        ASSERT_TRUE(player.put_URL(QString::fromStdString(server.Root()) + QStringLiteral("live")));
        ASSERT_TRUE(WaitUntil([&] { return !ended.isEmpty() || !failed.isEmpty(); }, 60000));
        EXPECT_TRUE(failed.isEmpty()) << failed.first().first().toString().toStdString();
        recorder.Stop();
        recorder.Flush();
        QCoreApplication::processEvents();
    }
};

TEST_F(StreamRecorderTest, ShoutcastTitlesSplitTheRecordingExactlyWhereTheyChange)
{
    const IcyStream stream(ToneMp3(), {U("Artist A - Song A"), QString(), U("Artist B - Song B"),
                                       QString(), U("Caf\xc3\xa9 C - Song/C"), QString()});
    RawStreamServer server;
    ASSERT_TRUE(server.Start());
    server.SetScript({"HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-metaint: 16000",
                      stream.body, 0, stream.body.size(), false});

    auto player = MakePlayer("fakesink sync=false");
    ASSERT_NE(player, nullptr);
    StreamRecorder recorder(*player);
    QSignalSpy finished(&recorder, &StreamRecorder::FileFinished);
    QSignalSpy recorderFailed(&recorder, &StreamRecorder::Failed);
    const QString folder = m_folder.FilePath(QStringLiteral("Music/Wavelark/Test Channel"));
    RecordToTheEnd(server, recorder, *player, folder);
    EXPECT_TRUE(recorderFailed.isEmpty());

    QStringList files;
    for (const QList<QVariant>& signal : finished)
        files << signal.first().toString();
    ASSERT_EQ(files.size(), stream.spans.size()) << files.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), files.size());
    const QRegularExpression name(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\.\\d\\d - (.*)\\.mp3$"));
    for (qsizetype i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].toStdString());
        const QRegularExpressionMatch match = name.match(QFileInfo(files[i]).fileName());
        ASSERT_TRUE(match.hasMatch());
        const QString title = stream.spans[i].first;
        EXPECT_EQ(match.captured(1),
                  title.isEmpty() ? QStringLiteral("Test Channel") : SafeNamePart(title));
        // The stream's own audio bytes for that span, not one more or less.
        const QByteArray audio = WithoutId3(ReadAll(files[i]));
        EXPECT_EQ(audio.size(), stream.spans[i].second.size());
        EXPECT_TRUE(audio == stream.spans[i].second);
        EXPECT_GT(DiscoveredSeconds(files[i]), 0.1);
    }

    // The tag: artist and title split at " - ", the channel as album.
    const TagLib::FileRef tagged(QFile::encodeName(files[3]).constData());
    ASSERT_FALSE(tagged.isNull());
    EXPECT_EQ(QString::fromStdString(tagged.tag()->artist().to8Bit(true)), U("Caf\xc3\xa9 C"));
    EXPECT_EQ(QString::fromStdString(tagged.tag()->title().to8Bit(true)), U("Song/C"));
    EXPECT_EQ(QString::fromStdString(tagged.tag()->album().to8Bit(true)), U("Test Channel"));
}

TEST_F(StreamRecorderTest, OggFilesSplitByAnnouncedTitlesEachBeginWithTheHeaders)
{
    // Ten seconds of Vorbis, sent at about twice its pace.
    const QString ogg = m_folder.FilePath(QStringLiteral("long.ogg"));
    QProcess make;
    make.start(QStringLiteral("sh"),
               {QStringLiteral("-c"),
                QStringLiteral("gst-launch-1.0 -q audiotestsrc num-buffers=431 freq=440 ! "
                               "audio/x-raw,rate=44100,channels=2 ! audioconvert ! vorbisenc ! "
                               "oggmux ! filesink location='%1'")
                    .arg(ogg)});
    ASSERT_TRUE(make.waitForFinished(60000));
    const QByteArray bytes = ReadAll(ogg);
    ASSERT_GT(bytes.size(), 10000);

    // The pages come out whole and in order, whatever pieces the bytes arrive in.
    {
        OggPages pages;
        QList<OggPages::Page> out;
        for (qsizetype at = 0; at < bytes.size(); at += 777)
            pages.Feed(
                QByteArrayView(bytes).sliced(at, std::min<qsizetype>(777, bytes.size() - at)), out);
        QByteArray joined;
        int headerPages = 0;
        for (const OggPages::Page& page : out) {
            ASSERT_TRUE(page.bytes.startsWith("OggS"));
            joined += page.bytes;
            headerPages += page.header ? 1 : 0;
        }
        EXPECT_TRUE(joined == bytes);
        EXPECT_GE(headerPages, 2); // identification, then comment and setup
        EXPECT_TRUE(bytes.startsWith(pages.Headers()));

        // A second chain (as stations send one per song) brings its own headers.
        QList<OggPages::Page> chained;
        pages.Feed(bytes, chained);
        ASSERT_FALSE(chained.isEmpty());
        EXPECT_TRUE(chained.first().beginsChain);
        EXPECT_EQ(std::count_if(chained.cbegin(), chained.cend(),
                                [](const OggPages::Page& page) { return page.beginsChain; }),
                  1);
        EXPECT_TRUE(bytes.startsWith(pages.Headers()));
        EXPECT_FALSE(pages.Headers().isEmpty());
    }

    RawStreamServer server;
    ASSERT_TRUE(server.Start());
    server.SetScript({"HTTP/1.0 200 OK\r\nContent-Type: application/ogg", bytes,
                      int(bytes.size() / 5), bytes.size(), false});
    auto player = MakePlayer("fakesink sync=false");
    ASSERT_NE(player, nullptr);
    StreamRecorder recorder(*player);
    QSignalSpy finished(&recorder, &StreamRecorder::FileFinished);
    QSignalSpy ended(player.get(), &MediaPlayer::EndOfStream);
    const QString folder = m_folder.FilePath(QStringLiteral("Ogg Channel"));
    recorder.Start(folder, QStringLiteral("Ogg Channel"), QString());
    ASSERT_TRUE(player->put_URL(QString::fromStdString(server.Root()) + QStringLiteral("live")));
    QSignalSpy first(player.get(), &MediaPlayer::FirstAudio);
    ASSERT_TRUE(WaitUntil([&] { return !first.isEmpty(); }, 20000));
    QTest::qWait(1500);
    recorder.OfferTitle(QStringLiteral("Second Song"));
    ASSERT_TRUE(WaitUntil([&] { return !ended.isEmpty(); }, 60000));
    recorder.Stop();
    recorder.Flush();
    QCoreApplication::processEvents();

    ASSERT_EQ(finished.size(), 2);
    const QString one = finished[0].first().toString();
    const QString two = finished[1].first().toString();
    EXPECT_TRUE(one.endsWith(QStringLiteral(" - Ogg Channel.ogg"))) << one.toStdString();
    EXPECT_TRUE(two.endsWith(QStringLiteral(" - Second Song.ogg"))) << two.toStdString();
    // Together they hold the stream, the second with the stream's headers in front again.
    OggPages headers;
    QList<OggPages::Page> ignored;
    headers.Feed(bytes, ignored);
    const QByteArray second = ReadAll(two);
    ASSERT_TRUE(second.startsWith(headers.Headers()));
    EXPECT_TRUE(ReadAll(one) + second.mid(headers.Headers().size()) == bytes);
    EXPECT_GT(DiscoveredSeconds(one), 0.5);
    EXPECT_GT(DiscoveredSeconds(two), 0.5);
}

TEST_F(StreamRecorderTest, AFullDiskEndsTheRecordingOnceWhilePlaybackGoesOn)
{
    QTemporaryDir mountPoint;
    ASSERT_TRUE(mountPoint.isValid());
    const QByteArray target = QFile::encodeName(mountPoint.path());
    if (::mount("tmpfs", target.constData(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs (needs root)";
    const auto unmount = qScopeGuard([&] { ::umount2(target.constData(), MNT_DETACH); });

    QStringList titles;
    for (int i = 0; i < 24; ++i)
        titles << (i % 2 == 0 ? QStringLiteral("Artist - Song %1").arg(i / 2) : QString());
    const IcyStream stream(ToneMp3(), titles);
    RawStreamServer server;
    ASSERT_TRUE(server.Start());
    server.SetScript({"HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-metaint: 16000",
                      stream.body, 0, stream.body.size(), false});

    auto player = MakePlayer("fakesink sync=false");
    ASSERT_NE(player, nullptr);
    StreamRecorder recorder(*player);
    QSignalSpy finished(&recorder, &StreamRecorder::FileFinished);
    QSignalSpy recorderFailed(&recorder, &StreamRecorder::Failed);
    QSignalSpy recording(&recorder, &StreamRecorder::RecordingChanged);
    // The player plays the whole stream to its end: the recording never interrupts it.
    RecordToTheEnd(server, recorder, *player, mountPoint.path() + QStringLiteral("/Channel"));

    EXPECT_EQ(recorderFailed.size(), 1);
    EXPECT_FALSE(recorder.IsRecording());
    ASSERT_FALSE(recording.isEmpty());
    EXPECT_FALSE(recording.last().first().toBool());
    // Every file holds the beginning of its span, byte for byte; nothing half-written is left.
    const QStringList left =
        QDir(mountPoint.path() + QStringLiteral("/Channel")).entryList(QDir::Files | QDir::Hidden);
    ASSERT_FALSE(left.isEmpty());
    ASSERT_GE(finished.size(), 2);
    for (qsizetype i = 0; i < finished.size(); ++i) {
        const QString path = finished[i].first().toString();
        SCOPED_TRACE(path.toStdString());
        EXPECT_TRUE(left.contains(QFileInfo(path).fileName()));
        const QByteArray audio = WithoutId3(ReadAll(path));
        ASSERT_GT(audio.size(), 0);
        EXPECT_TRUE(stream.spans[i].second.startsWith(audio));
    }
    EXPECT_EQ(left.size(), finished.size()) << left.join(QLatin1Char('\n')).toStdString();
}

TEST_F(StreamRecorderTest, AStreamStartedAgainGoesOnInANewFile)
{
    const IcyStream stream(ToneMp3(), {U("Artist - Song"), QString()});
    RawStreamServer server;
    ASSERT_TRUE(server.Start());
    server.SetScript({"HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-metaint: 16000",
                      stream.body, 0, stream.body.size(), false});
    auto player = MakePlayer("fakesink sync=false");
    ASSERT_NE(player, nullptr);
    StreamRecorder recorder(*player);
    QSignalSpy finished(&recorder, &StreamRecorder::FileFinished);
    QSignalSpy ended(player.get(), &MediaPlayer::EndOfStream);
    const QString folder = m_folder.FilePath(QStringLiteral("Channel"));
    recorder.Start(folder, QStringLiteral("Channel"), QString());
    // As the stream keeper does after a lost stream: the same address once more.
    for (int start = 1; start <= 2; ++start) {
        ASSERT_TRUE(
            player->put_URL(QString::fromStdString(server.Root()) + QStringLiteral("live")));
        ASSERT_TRUE(WaitUntil([&] { return ended.size() == start; }, 60000));
    }
    EXPECT_TRUE(recorder.IsRecording());
    recorder.Stop();
    recorder.Flush();
    QCoreApplication::processEvents();

    // The first start: the opening block under the channel's name, then the title's. The
    // second start is a new file that keeps the title, which the new stream repeats.
    ASSERT_EQ(finished.size(), 3);
    const QByteArray expected[] = {stream.spans[0].second, stream.spans[1].second,
                                   stream.spans[0].second + stream.spans[1].second};
    for (qsizetype i = 0; i < finished.size(); ++i) {
        const QString path = finished[i].first().toString();
        EXPECT_TRUE(WithoutId3(ReadAll(path)) == expected[i]) << path.toStdString();
        EXPECT_EQ(path.contains(QStringLiteral(" - Artist - Song")), i > 0) << path.toStdString();
    }
}
