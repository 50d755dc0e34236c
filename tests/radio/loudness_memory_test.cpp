// "loudness.dat" and "wavelark.ini": what is read from damaged, huge and planted files, and
// that writing never goes through a link.

#include "radio/LoudnessMemory.h"
#include "radio/Options.h"
#include "support/TempFolder.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <optional>
#include <utility>
#include <vector>

namespace {

using Gains = std::vector<std::pair<const char*, double>>; // UTF-8 names

void ExpectGains(const LoudnessMemory& memory, const Gains& gains)
{
    EXPECT_EQ(memory.Size(), int(gains.size()));
    for (const auto& [name, gain] : gains) {
        SCOPED_TRACE(name);
        const std::optional<double> known = memory.Gain(QString::fromUtf8(name));
        ASSERT_TRUE(known);
        EXPECT_DOUBLE_EQ(*known, gain);
    }
}

TEST(LoudnessMemory, ReadsWhatItCanOfDamagedText)
{
    const struct
    {
        const char* name;
        QByteArray bytes;
        Gains gains;
    } cases[] = {
        {"empty", "", {}},
        {"plain lines", "Alpha\t-6.5\nBeta\t3\n", {{"Alpha", -6.5}, {"Beta", 3}}},
        {"CR LF and no last line end", "Alpha\t-6.5\r\nBeta\t3", {{"Alpha", -6.5}, {"Beta", 3}}},
        {"UTF-8 names, spaces kept", "Radio Zürich 1\t2.0\n", {{"Radio Zürich 1", 2.0}}},
        {"blanks around the gain", "Alpha\t  -1.5 \n", {{"Alpha", -1.5}}},
        {"no TAB, no name, no number",
         "Alpha -6\n\t4\nBeta\t\nGamma\tloud\nDelta\t1\n",
         {{"Delta", 1}}},
        {"not finite", "Alpha\tnan\nBeta\tinf\nGamma\t1e999\nDelta\t2\n", {{"Delta", 2}}},
        {"invalid UTF-8 name", "Alph\xff\t1\nBeta\t2\n", {{"Beta", 2}}},
        {"beyond the bounds: clamped", "Alpha\t40\nBeta\t-99\n", {{"Alpha", 12}, {"Beta", -12}}},
        {"a name twice: the later counts", "Alpha\t1\nAlpha\t2\n", {{"Alpha", 2}}},
        {"a NUL in the name", QByteArray("Al\0pha\t1\nBeta\t2\n", 17), {{"Beta", 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectGains(LoudnessMemory::FromBytes(c.bytes), c.gains);
    }
}

TEST(LoudnessMemory, WritesWhatItReadsAndForgetsTheOldestBeyondItsBound)
{
    LoudnessMemory memory;
    memory.Remember(QStringLiteral("Alpha"), -6.54);
    memory.Remember(QString::fromUtf8("Zürich"), 3);
    memory.Remember(QStringLiteral("Alpha"), -7); // learned again: now the newest
    memory.Remember(QStringLiteral("Tab\tname"), 1);
    memory.Remember(QString(), 1);
    EXPECT_EQ(memory.ToBytes(), QByteArray("Zürich\t3.0\nAlpha\t-7.0\n"));
    ExpectGains(LoudnessMemory::FromBytes(memory.ToBytes()), {{"Zürich", 3}, {"Alpha", -7}});

    LoudnessMemory full;
    for (int i = 0; i <= LoudnessMemory::kMaxChannels; ++i)
        full.Remember(QString::number(i), 1);
    EXPECT_EQ(full.Size(), LoudnessMemory::kMaxChannels);
    EXPECT_FALSE(full.Gain(QStringLiteral("0")));
    EXPECT_TRUE(full.Gain(QString::number(LoudnessMemory::kMaxChannels)));
}

TEST(LoudnessMemory, ReadsTheFileBounded)
{
    TempFolder folder;
    const QString file = QString::fromLatin1(LoudnessMemory::kFileName);
    EXPECT_EQ(LoudnessMemory::Read().Size(), 0) << "no file yet";

    // More lines than channels are kept: the rest is not even looked at.
    QByteArray many;
    for (int i = 0; i < LoudnessMemory::kMaxChannels + 500; ++i)
        many += QByteArray::number(i) + "\t1\n";
    folder.Write(file, many);
    const LoudnessMemory read = LoudnessMemory::Read();
    EXPECT_EQ(read.Size(), LoudnessMemory::kMaxChannels);
    EXPECT_FALSE(read.Gain(QString::number(LoudnessMemory::kMaxChannels)));

    // A file over the size bound: what lies within it is read, the line the bound cuts is not.
    QByteArray huge = "Alpha\t2\n";
    const QByteArray longName(200, 'x');
    while (huge.size() < LoudnessMemory::kMaxFileBytes)
        huge += longName + "\t5\n";
    huge += "Omega\t1\n";
    folder.Write(file, huge);
    const LoudnessMemory bounded = LoudnessMemory::Read();
    EXPECT_EQ(bounded.Gain(QStringLiteral("Alpha")), 2.0);
    EXPECT_FALSE(bounded.Gain(QStringLiteral("Omega")));
    EXPECT_LE(bounded.Size(), 2);
}

TEST(LoudnessMemory, ALinkIsNeitherReadNorWrittenThrough)
{
    TempFolder elsewhere;
    elsewhere.Write(QStringLiteral("other"), QByteArrayLiteral("Alpha\t5\n"));
    TempFolder folder;
    const QString file = QString::fromLatin1(LoudnessMemory::kFileName);
    ASSERT_TRUE(QFile::link(elsewhere.FilePath(QStringLiteral("other")), folder.FilePath(file)));
    EXPECT_EQ(LoudnessMemory::Read().Size(), 0);

    LoudnessMemory memory;
    memory.Remember(QStringLiteral("Beta"), -3);
    EXPECT_TRUE(memory.Write());
    EXPECT_EQ(elsewhere.Read(QStringLiteral("other")), QByteArrayLiteral("Alpha\t5\n"));
    EXPECT_FALSE(QFileInfo(folder.FilePath(file)).isSymLink());
    EXPECT_EQ(folder.Read(file), QByteArrayLiteral("Beta\t-3.0\n"));
    ExpectGains(LoudnessMemory::Read(), {{"Beta", -3}});

    // A folder in its place cannot be read as a file.
    TempFolder other;
    ASSERT_TRUE(QDir(other.Path()).mkdir(file));
    EXPECT_EQ(LoudnessMemory::Read().Size(), 0);
}

TEST(Options, EvenLoudnessIsOnUnlessTurnedOffAndOtherKeysStay)
{
    TempFolder folder;
    EXPECT_TRUE(Options::EvenLoudness()) << "no file: on";
    folder.Write(Options::kFileName, "[General]\nSomethingElse=7\n");
    EXPECT_TRUE(Options::EvenLoudness()) << "not mentioned: on";
    EXPECT_TRUE(Options::SetEvenLoudness(false));
    EXPECT_FALSE(Options::EvenLoudness());
    EXPECT_EQ(Options::Value(QStringLiteral("SomethingElse"), 0).toInt(), 7);
    EXPECT_TRUE(folder.Read(Options::kFileName).contains("EvenLoudness=false"));
    EXPECT_TRUE(Options::SetEvenLoudness(true));
    EXPECT_TRUE(Options::EvenLoudness());

    // Damaged, huge or planted files give the defaults; writing replaces a link.
    folder.Write(Options::kFileName, "\xff\xfe[[[=\n\0\0");
    EXPECT_TRUE(Options::EvenLoudness());
    folder.Write(Options::kFileName,
                 "[Playback]\nEvenLoudness=false\n" + QByteArray(Options::kMaxFileBytes, '#'));
    EXPECT_TRUE(Options::EvenLoudness());

    // Not a TempFolder: that would become the working folder.
    QTemporaryDir elsewhere;
    const QString other = elsewhere.filePath(QStringLiteral("other.ini"));
    const QByteArray otherText = "[Playback]\nEvenLoudness=false\n";
    {
        QFile file(other);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(otherText);
    }
    QFile::remove(folder.FilePath(Options::kFileName));
    ASSERT_TRUE(QFile::link(other, folder.FilePath(Options::kFileName)));
    EXPECT_TRUE(Options::EvenLoudness()) << "a link is not read";
    EXPECT_TRUE(Options::SetEvenLoudness(false));
    QFile file(other);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), otherText);
    EXPECT_FALSE(QFileInfo(folder.FilePath(Options::kFileName)).isSymLink());
    EXPECT_FALSE(Options::EvenLoudness());
}

} // namespace
