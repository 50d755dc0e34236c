// Which decoders the player's pipelines see: the common radio formats play without the libav
// plugin ever being loaded, and a stream only libav decodes still plays through the fallback.
//
// Runs before the other playback tests of this program (the file name sorts first): once the
// fallback has loaded libav, it stays loaded for the rest of the process.

#include "PlayerFixture.h"
#include "hosted/DecoderRegistry.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <gst/gst.h>
#include <vector>

namespace {

constexpr int kEncodeTimeoutMs = 30000;

// Encoded in a separate process: encoding here could load the very plugin under test.
bool Encode(const QString& encoder, const QString& path)
{
    const QString description =
        QStringLiteral("audiotestsrc num-buffers=130 freq=440 ! audio/x-raw,channels=2 ! "
                       "audioconvert ! audioresample ! %1 ! filesink location=\"%2\"")
            .arg(encoder, path);
    QProcess process;
    process.start(QStringLiteral("gst-launch-1.0"),
                  QStringList{QStringLiteral("-q")} + QProcess::splitCommand(description));
    if (!process.waitForFinished(kEncodeTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 &&
           QFile(path).size() > 0;
}

bool HeavyPluginMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libgstlibav");
}

bool ElementInstalled(const char* name)
{
    GstElementFactory* factory = gst_element_factory_find(name);
    if (factory)
        gst_object_unref(factory);
    return factory != nullptr;
}

class DecoderRegistryTest : public PlayerFixture
{
protected:
    // Plays `address` until its first audio; false on an error or when nothing sounds in time.
    static bool PlaysToFirstAudio(MediaPlayer& player, const QString& address)
    {
        QSignalSpy firstAudio(&player, &MediaPlayer::FirstAudio);
        QSignalSpy errors(&player, &MediaPlayer::PlaybackError);
        if (!player.put_URL(address))
            return false;
        WaitUntil([&] { return firstAudio.count() > 0 || errors.count() > 0; },
                  2 * kStartTimeoutMs);
        EXPECT_EQ(errors.count(), 0)
            << (errors.isEmpty() ? std::string() : errors.first().first().toString().toStdString());
        return firstAudio.count() == 1 && errors.isEmpty();
    }
};

TEST_F(DecoderRegistryTest, CommonFormatsPlayWithoutLibavAndOthersFallBackToIt)
{
    auto player = MakePlayer(kPacedSink);
    ASSERT_TRUE(player);
    if (!DecoderRegistry::HoldingBack()) {
        ASSERT_FALSE(ElementInstalled("avdec_mp3") &&
                     DecoderRegistry::FormatWithoutLightDecoder().isEmpty())
            << "libav is installed and other decoders cover every format, yet it is not held back";
        GTEST_SKIP() << "libav is not installed, or it alone decodes "
                     << DecoderRegistry::FormatWithoutLightDecoder().toStdString();
    }
    ASSERT_FALSE(HeavyPluginMapped()) << "something loaded libav before this test";

    struct Case
    {
        const char* name;
        const char* file;
        const char* encoder; // nullptr: one of the shared test streams
    };
    const std::vector<Case> common = {
        {"MP3", "tone.mp3", nullptr},
        {"Ogg Vorbis", "tone.ogg", nullptr},
        {"Ogg Opus", "tone.opus", "opusenc ! oggmux"},
        {"AAC (ADTS)", "tone.aac", "voaacenc ! audio/mpeg,stream-format=adts"},
    };
    for (const Case& c : common) {
        SCOPED_TRACE(c.name);
        const QString file = QLatin1String(c.file);
        if (c.encoder && !Encode(QLatin1String(c.encoder), Streams().FilePath(file))) {
            ADD_FAILURE() << "cannot encode " << c.file;
            continue;
        }
        EXPECT_TRUE(PlaysToFirstAudio(*player, Streams().Url(file)));
        EXPECT_FALSE(HeavyPluginMapped()) << "libav was loaded to play " << c.name;
        EXPECT_TRUE(DecoderRegistry::HoldingBack());
    }

    // AC-3: of the installed decoders only libav's takes it (a52dec is not a dependency).
    const QString ac3 = QStringLiteral("tone.ac3");
    ASSERT_TRUE(Encode(QStringLiteral("avenc_ac3"), Streams().FilePath(ac3)));
    const bool onlyLibav = !ElementInstalled("a52dec");
    EXPECT_TRUE(PlaysToFirstAudio(*player, Streams().Url(ac3)));
    if (onlyLibav) {
        EXPECT_FALSE(DecoderRegistry::HoldingBack());
        EXPECT_TRUE(HeavyPluginMapped());
    }
    // With every decoder admitted the common formats still play.
    EXPECT_TRUE(PlaysToFirstAudio(*player, Streams().Url(QStringLiteral("tone.mp3"))));
}

} // namespace
