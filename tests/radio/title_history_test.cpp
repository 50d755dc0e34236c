#include "radio/Options.h"
#include "radio/TitleHistory.h"
#include "radio/TitleKeeping.h"
#include "support/TempFolder.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <gtest/gtest.h>

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// A clock that stands still until the test moves it.
struct StepClock
{
    QDateTime now = QDateTime(QDate(2026, 12, 11), QTime(9, 14, 3, 250));
    TitleHistory::Clock Clock()
    {
        return [this] { return now; };
    }
};

QStringList Lines(const TempFolder& folder)
{
    return QString::fromUtf8(folder.Read(QStringLiteral("history.txt")))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

TEST(TitleHistoryTest, KeepsNewTitlesAsTabSeparatedLocalTimeLines)
{
    TempFolder folder;
    StepClock clock;
    TitleHistory history(QStringLiteral("history.txt"));
    history.SetClock(clock.Clock());
    const struct
    {
        const char* channel;
        const char* title;
        bool kept;
    } cases[] = {
        {"Radio One", "Artist - Song", true},
        {"Radio One", "Artist - Song", false}, // a repeat on the same channel
        {"Radio One", "", false},              // nothing
        {"Radio One", "Radio One", false},     // the station naming itself
        {"Radio Two", "Artist - Song", true},  // the same title on another channel is new
        {"Radio One", "Other \xe2\x80\x93 Song", true},
        {"Radio Two", "Jingle", true},
        {"Radio One", "Artist - Song", true},   // not a repeat: another title came between
        {"Radio One", "Tab\tand\nbreak", true}, // cannot split or forge a line
    };
    for (const auto& c : cases) {
        clock.now = clock.now.addSecs(61);
        EXPECT_EQ(history.Add(U(c.channel), U(c.title)), c.kept) << c.channel << " / " << c.title;
    }
    EXPECT_EQ(Lines(folder),
              (QStringList{U("2026-12-11 09:15:04\tRadio One\tArtist - Song"),
                           U("2026-12-11 09:19:08\tRadio Two\tArtist - Song"),
                           U("2026-12-11 09:20:09\tRadio One\tOther \xe2\x80\x93 Song"),
                           U("2026-12-11 09:21:10\tRadio Two\tJingle"),
                           U("2026-12-11 09:22:11\tRadio One\tArtist - Song"),
                           U("2026-12-11 09:23:12\tRadio One\tTab and break")}));

    // The next start reads it back, and repeats are still recognised across the restart.
    TitleHistory again(QStringLiteral("history.txt"));
    again.Load();
    ASSERT_EQ(again.Entries().size(), 6);
    EXPECT_EQ(again.Recent(2).at(0).title, U("Tab and break"));
    EXPECT_EQ(again.Recent(2).at(1).channel, U("Radio One"));
    EXPECT_EQ(again.Recent(1).at(0).when, QDateTime(QDate(2026, 12, 11), QTime(9, 23, 12)));
    EXPECT_FALSE(again.Add(U("Radio Two"), U("Jingle")));
}

TEST(TitleHistoryTest, KeepsTheLastThousandLines)
{
    TempFolder folder;
    QByteArray bytes;
    for (int i = 0; i < TitleHistory::kLimit + 3; ++i)
        bytes += QStringLiteral("2026-12-11 09:00:00\tRadio One\tSong %1\n").arg(i).toUtf8();
    folder.Write(QStringLiteral("history.txt"), bytes);
    TitleHistory history(QStringLiteral("history.txt"));
    history.Load();
    EXPECT_EQ(history.Entries().size(), TitleHistory::kLimit);
    for (int i = TitleHistory::kLimit + 3; i < TitleHistory::kLimit + 5; ++i)
        ASSERT_TRUE(history.Add(U("Radio One"), QStringLiteral("Song %1").arg(i)));
    const QStringList lines = Lines(folder);
    ASSERT_EQ(lines.size(), TitleHistory::kLimit);
    EXPECT_TRUE(lines.first().endsWith(U("\tSong 5")));
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral("\tSong %1").arg(TitleHistory::kLimit + 4)));
}

TEST(TitleHistoryTest, ReadsADamagedFileOnlyUpToItsLastWholeLine)
{
    const struct
    {
        const char* label;
        QByteArray bytes;
        QStringList titles;
    } cases[] = {
        {"cut mid-line", "2026-12-11 09:00:00\tA\tOne\n2026-12-11 09:01:00\tA\tTw", {U("One")}},
        {"no line end at all", "2026-12-11 09:00:00\tA\tOne", {}},
        {"lines of another form",
         "garbage\n2026-12-11 09:00:00\tA\n2026-13-45 09:00:00\tA\tBad date\n"
         "2026-12-11 09:00:00\tA\t\n2026-12-11 09:02:00\tA\tTwo\n",
         {U("Two")}},
        {"not UTF-8", "2026-12-11 09:00:00\tA\tCaf\xe9\n", {U("Caf\xef\xbf\xbd")}},
        {"NUL inside", QByteArray("2026-12-11 09:00:00\tA\tNu\0l\n", 28), {U("Nu l")}},
    };
    for (const auto& c : cases) {
        QStringList titles;
        for (const TitleEntry& entry : TitleHistory::Parse(c.bytes))
            titles.append(entry.title);
        EXPECT_EQ(titles, c.titles) << c.label;
    }
}

TEST(TitleHistoryTest, ReadsAtMostOneMebibyte)
{
    TempFolder folder;
    QByteArray bytes;
    const QByteArray line = "2026-12-11 09:00:00\tRadio One\t" + QByteArray(200, 'x') + '\n';
    while (bytes.size() < 2 * TitleHistory::kMaxReadBytes)
        bytes += line;
    bytes += "2026-12-11 10:00:00\tRadio One\tBeyond the limit\n";
    folder.Write(QStringLiteral("history.txt"), bytes);
    TitleHistory history(QStringLiteral("history.txt"));
    history.Load();
    ASSERT_EQ(history.Entries().size(), TitleHistory::kLimit);
    for (const TitleEntry& entry : history.Entries())
        ASSERT_EQ(entry.title, QString(200, QLatin1Char('x')));
}

TEST(TitleHistoryTest, ReplacesALinkInsteadOfWritingThroughIt)
{
    TempFolder folder;
    folder.Write(QStringLiteral("elsewhere.txt"), "untouched\n");
    ASSERT_TRUE(QFile::link(folder.FilePath(QStringLiteral("elsewhere.txt")),
                            folder.FilePath(QStringLiteral("history.txt"))));
    TitleHistory history(QStringLiteral("history.txt"));
    ASSERT_TRUE(history.Add(U("Radio One"), U("Song")));
    EXPECT_EQ(folder.Read(QStringLiteral("elsewhere.txt")), QByteArray("untouched\n"));
    EXPECT_FALSE(QFileInfo(folder.FilePath(QStringLiteral("history.txt"))).isSymLink());
    EXPECT_EQ(Lines(folder).size(), 1);
}

TEST(OptionsTest, FlagsSurviveAndKeepOtherOptions)
{
    TempFolder folder;
    folder.Write(QStringLiteral("wavelark.ini"), "[General]\nSomethingElse=42\n");
    const QString key = Options::kTitleNotifications;
    EXPECT_FALSE(Options::Value(key, false).toBool());
    ASSERT_TRUE(Options::SetValue(key, true));
    EXPECT_TRUE(Options::Value(key, false).toBool());
    const QByteArray text = folder.Read(QStringLiteral("wavelark.ini"));
    EXPECT_TRUE(text.contains("SomethingElse=42")) << text.constData();
    EXPECT_TRUE(text.contains("TitleNotifications=true")) << text.constData();
    ASSERT_TRUE(Options::SetValue(key, false));
    EXPECT_FALSE(Options::Value(key, true).toBool());

    // An oversized file is not read: the defaults hold.
    folder.Write(QStringLiteral("wavelark.ini"),
                 "[General]\nTitleNotifications=true\n" + QByteArray(Options::kMaxFileBytes, '#'));
    EXPECT_FALSE(Options::Value(key, false).toBool());
}
