#include "radio/NowPlaying.h"

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

TEST(NowPlayingTest, ToolTipTellsChannelAndStateBelowTheProgramName)
{
    const struct
    {
        const char* channel;
        const char* title;
        bool playing;
        bool reconnecting;
        const char* expected;
    } cases[] = {
        {"", "", false, false, "Wavelark"},                    // nothing chosen yet
        {"", "", true, false, "Wavelark"},                     // never without a channel
        {"Radio One", "", true, false, "Wavelark\nRadio One"}, // no title sent (yet)
        {"Radio One", "Artist - Song", true, false, "Wavelark\nRadio One\nArtist - Song"},
        {"Radio One", "", false, false, "Wavelark\nRadio One\nstopped"},
        {"Radio One", "Artist - Song", false, false, "Wavelark\nRadio One\nstopped"},
        {"Radio One", "", true, true, "Wavelark\nRadio One\nreconnecting"},
        {"Radio One", "Artist - Song", true, true, "Wavelark\nRadio One\nreconnecting"},
        {"Radio One", "", false, true, "Wavelark\nRadio One\nreconnecting"},
        {"Caf\xc3\xa9 Paris", "\xe2\x80\x9cLive\xe2\x80\x9d", true, false,
         "Wavelark\nCaf\xc3\xa9 Paris\n\xe2\x80\x9cLive\xe2\x80\x9d"},
    };
    for (const auto& c : cases) {
        NowPlaying state;
        state.channelName = U(c.channel);
        state.streamTitle = U(c.title);
        state.playing = c.playing;
        state.reconnecting = c.reconnecting;
        EXPECT_EQ(TrayToolTipText(state), U(c.expected))
            << c.channel << " / " << c.title << " playing " << c.playing << " reconnecting "
            << c.reconnecting;
    }
}

TEST(NowPlayingTest, RecordingIsTheToolTipsLastLine)
{
    NowPlaying state;
    state.channelName = U("Radio One");
    state.streamTitle = U("Artist - Song");
    state.playing = true;
    state.recording = true;
    EXPECT_EQ(TrayToolTipText(state), U("Wavelark\nRadio One\nArtist - Song\nRecording"));
    state.reconnecting = true;
    EXPECT_EQ(TrayToolTipText(state), U("Wavelark\nRadio One\nreconnecting\nRecording"));
}

TEST(NowPlayingTest, StreamTitlesLoseControlCharactersAndExtraSpace)
{
    const struct
    {
        QString title;
        QString expected;
    } cases[] = {
        {U("Artist - Song"), U("Artist - Song")},
        {U("  Artist - Song  "), U("Artist - Song")},
        {U("Line\x01One\x7f\r\nTwo"), U("LineOne Two")},
        {U("Tab\tSeparated"), U("Tab Separated")},
        {U("\x1b[31mRed\x1b[0m"), U("[31mRed[0m")},
        {U("C1\xc2\x93quoted\xc2\x94"), U("C1quoted")}, // Latin-1 read of Windows-1252 quotes
        {U("Caf\xc3\xa9 \xe2\x80\x9cLive\xe2\x80\x9d \xf0\x9f\x8e\xb5"),
         U("Caf\xc3\xa9 \xe2\x80\x9cLive\xe2\x80\x9d \xf0\x9f\x8e\xb5")},
        {U("\x01\x02\x03"), QString()},
        {QString(), QString()},
        {QString(QChar(0)) + U("After NUL"), U("After NUL")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CleanStreamTitle(c.title), c.expected) << c.title.toStdString();
}

TEST(NowPlayingTest, LongTitlesAreCutWithoutSplittingACharacter)
{
    const QString exact(kMaxStreamTitleLength, QLatin1Char('a'));
    EXPECT_EQ(CleanStreamTitle(exact), exact);

    const QString longer = exact + QStringLiteral("bcd");
    const QString cut = CleanStreamTitle(longer);
    EXPECT_EQ(cut.size(), kMaxStreamTitleLength);
    EXPECT_TRUE(cut.endsWith(QStringLiteral("...")));
    EXPECT_TRUE(cut.startsWith(QStringLiteral("aaaa")));

    // A character outside the basic plane right at the cut is dropped whole.
    const QString note = QString::fromUtf8("\xf0\x9f\x8e\xb5");
    const QString beforeCut(kMaxStreamTitleLength - 4, QLatin1Char('x'));
    const QString withPair = CleanStreamTitle(beforeCut + note + QString(50, QLatin1Char('y')));
    EXPECT_LE(withPair.size(), kMaxStreamTitleLength);
    EXPECT_TRUE(withPair.endsWith(QStringLiteral("...")));
    for (qsizetype i = 0; i < withPair.size(); ++i) {
        if (withPair.at(i).isHighSurrogate()) {
            ASSERT_LT(i + 1, withPair.size());
            EXPECT_TRUE(withPair.at(i + 1).isLowSurrogate());
        }
        EXPECT_FALSE(withPair.at(i).isLowSurrogate() &&
                     (i == 0 || !withPair.at(i - 1).isHighSurrogate()));
    }

    // A hostile title of a megabyte of spaces and controls costs no more than its scan.
    QString hostile(1 << 20, QLatin1Char(' '));
    for (qsizetype i = 0; i < hostile.size(); i += 3)
        hostile[i] = QChar(0x07);
    EXPECT_TRUE(CleanStreamTitle(hostile).isEmpty());
    EXPECT_LE(CleanStreamTitle(QString(1 << 20, QLatin1Char('z'))).size(), kMaxStreamTitleLength);
}
