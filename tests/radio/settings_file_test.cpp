#include "radio/SettingsFile.h"
#include "support/LockedFolder.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <limits>
#include <optional>

namespace {

const QString kFile = QStringLiteral("setting.dat");

void ExpectValues(const SettingsValues& actual, const SettingsValues& expected)
{
    EXPECT_EQ(actual.keepSelected, expected.keepSelected);
    EXPECT_EQ(actual.nonStop, expected.nonStop);
    EXPECT_EQ(actual.startHour, expected.startHour);
    EXPECT_EQ(actual.hours, expected.hours);
    EXPECT_EQ(actual.volume, expected.volume);
}

struct ReadCase
{
    const char* label;
    std::optional<QByteArray> file;
    SettingsValues expected;
    QByteArray fileAfter;
};

TEST(SettingsFile, ReadSettingsFromFileOrDefaults)
{
    constexpr int kMax = std::numeric_limits<int>::max();
    const ReadCase cases[] = {
        {"missing file is created with the defaults",
         std::nullopt,
         {1, 1, 0, 0, 50},
         "1\n1\n0\n0\n50"},
        {"stored values", "0\n0\n5\n3\n30", {0, 0, 5, 3, 30}, "0\n0\n5\n3\n30"},
        {"short file: missing lines are 0", "1", {1, 0, 0, 0, 0}, "1"},
        {"empty file: all 0", "", {0, 0, 0, 0, 0}, ""},
        {"volume past the slider range kept",
         "1\n1\n0\n0\n150",
         {1, 1, 0, 0, 150},
         "1\n1\n0\n0\n150"},
        {"no selection in the hidden lists",
         "1\n1\n-1\n-1\n50",
         {1, 1, -1, -1, 50},
         "1\n1\n-1\n-1\n50"},
        {"non-numeric values are 0", "x\nyes\n\n7h\n 40", {0, 0, 0, 7, 40}, "x\nyes\n\n7h\n 40"},
        {"line end after the last value", "1\n0\n2\n3\n60\n", {1, 0, 2, 3, 60}, "1\n0\n2\n3\n60\n"},
        {"CR before LF", "0\r\n1\r\n2\r\n3\r\n70", {0, 1, 2, 3, 70}, "0\r\n1\r\n2\r\n3\r\n70"},
        {"lines past the fifth ignored",
         "1\n1\n0\n0\n50\n99",
         {1, 1, 0, 0, 50},
         "1\n1\n0\n0\n50\n99"},
        {"overlong number clamped",
         "1\n1\n0\n0\n99999999999",
         {1, 1, 0, 0, kMax},
         "1\n1\n0\n0\n99999999999"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder folder;
        if (c.file)
            folder.Write(kFile, *c.file);
        ExpectValues(ReadSettings(), c.expected);
        EXPECT_EQ(folder.Read(kFile), c.fileAfter);
    }
}

TEST(SettingsFile, WrittenValuesReadBack)
{
    TempFolder folder;
    const SettingsValues stored{0, 1, -1, 23, 30};
    ASSERT_TRUE(WriteSettings(TextsFromSettings(stored)));
    EXPECT_EQ(folder.Read(kFile), QByteArrayLiteral("0\n1\n-1\n23\n30"));
    ExpectValues(ReadSettings(), stored);

    ASSERT_TRUE(WriteSettings(DefaultSettingsTexts()));
    EXPECT_EQ(folder.Read(kFile), QByteArrayLiteral("1\n1\n0\n0\n50"));
}

TEST(SettingsFile, UnwritableFolderKeepsDefaultsAndOldFile)
{
    {
        TempFolder folder;
        LockedFolder lock(folder.Path());
        if (!lock.Locked())
            GTEST_SKIP() << "this file system lets the test user write anywhere";
        ExpectValues(ReadSettings(), SettingsValues{1, 1, 0, 0, 50});
        EXPECT_FALSE(folder.Exists(kFile));
    }
    TempFolder folder;
    folder.Write(kFile, QByteArrayLiteral("0\n0\n0\n0\n10"));
    LockedFolder lock(folder.Path());
    ASSERT_TRUE(lock.Locked());
    EXPECT_FALSE(WriteSettings(DefaultSettingsTexts()));
    EXPECT_EQ(folder.Read(kFile), QByteArrayLiteral("0\n0\n0\n0\n10"));
    EXPECT_EQ(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    ExpectValues(ReadSettings(), SettingsValues{0, 0, 0, 0, 10});
}

TEST(SettingsFile, AnExistingFileIsNeverReplacedByDefaultsAndALinkNeverWrittenThrough)
{
    {
        // A link to a file that is missing: read as the defaults, and nothing created where it
        // points.
        TempFolder elsewhere;
        TempFolder folder;
        ASSERT_TRUE(
            QFile::link(elsewhere.FilePath(QStringLiteral("gone")), folder.FilePath(kFile)));
        ExpectValues(ReadSettings(), SettingsValues{1, 1, 0, 0, 50});
        EXPECT_FALSE(elsewhere.Exists(QStringLiteral("gone")));
        EXPECT_TRUE(QFileInfo(folder.FilePath(kFile)).isSymLink());
    }
    {
        // A link to a file elsewhere: written as a file of its own, the other file untouched.
        TempFolder elsewhere;
        elsewhere.Write(QStringLiteral("precious"), QByteArrayLiteral("not yours\n"));
        TempFolder folder;
        ASSERT_TRUE(
            QFile::link(elsewhere.FilePath(QStringLiteral("precious")), folder.FilePath(kFile)));
        EXPECT_TRUE(WriteSettings(DefaultSettingsTexts()));
        EXPECT_EQ(elsewhere.Read(QStringLiteral("precious")), QByteArrayLiteral("not yours\n"));
        EXPECT_FALSE(QFileInfo(folder.FilePath(kFile)).isSymLink());
        ExpectValues(ReadSettings(), SettingsValues{1, 1, 0, 0, 50});
    }
    {
        // There but unreadable: read as the defaults, and left as it is.
        TempFolder folder;
        folder.Write(kFile, QByteArrayLiteral("0\n0\n3\n4\n10"));
        QFile::setPermissions(folder.FilePath(kFile), QFileDevice::WriteOwner);
        // Root reads it all the same; the link above is that user's unreadable file.
        if (QFile probe(folder.FilePath(kFile)); !probe.open(QIODevice::ReadOnly)) {
            ExpectValues(ReadSettings(), SettingsValues{1, 1, 0, 0, 50});
            QFile::setPermissions(folder.FilePath(kFile),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            EXPECT_EQ(folder.Read(kFile), QByteArrayLiteral("0\n0\n3\n4\n10"));
        }
    }
}

} // namespace
