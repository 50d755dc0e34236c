#include "app/InterfaceArchive.h"
#include "support/TempFolder.h"
#include "support/TestArchive.h"

#include <QByteArray>
#include <QDir>
#include <gtest/gtest.h>
#include <vector>

namespace {

class InterfaceArchiveTest : public ::testing::Test
{
protected:
    // Writes `bytes` as Interface/radio.int in the temporary working folder and loads it.
    InterfaceArchive Load(const QByteArray& bytes)
    {
        m_folder.Write(QStringLiteral("Interface/radio.int"), bytes);
        return LoadInterfaceArchive(ArchivePath());
    }

    QString ArchivePath() const { return m_folder.FilePath(QStringLiteral("Interface/radio.int")); }

    TempFolder m_folder;
};

TEST_F(InterfaceArchiveTest, LoadsHeaderDirectoryAndOffsetsAsStored)
{
    const QByteArray bytes =
        ArchiveBytes({{"channels.rd", "3\r\nabc"}, {"tv.rd", ""}, {"x", "Z"}}, 0x0201, 0x0403);
    const InterfaceArchive archive = Load(bytes);

    EXPECT_EQ(archive.header, 0x04030201u);
    ASSERT_EQ(archive.entryCount, 3);
    ASSERT_EQ(archive.entries.size(), 3u);
    const quint32 tableEnd = 6 + (8 + 11) + (8 + 5) + (8 + 1) + 3 * 4;
    const struct
    {
        QByteArray name;
        quint32 dataSize;
        quint32 dataOffset;
    } expected[] = {
        {"channels.rd", 6, tableEnd}, {"tv.rd", 0, tableEnd + 6}, {"x", 1, tableEnd + 6}};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(archive.entries[i].name, expected[i].name);
        EXPECT_EQ(archive.entries[i].nameLength, quint32(expected[i].name.size()));
        EXPECT_EQ(archive.entries[i].dataSize, expected[i].dataSize);
        EXPECT_EQ(archive.entries[i].dataOffset, expected[i].dataOffset);
    }
    EXPECT_EQ(ReadInterfaceEntry(archive, 0), QByteArray("3\r\nabc"));
    EXPECT_EQ(ReadInterfaceEntry(archive, 1), QByteArray(""));
    EXPECT_EQ(ReadInterfaceEntry(archive, 2), QByteArray("Z"));
}

TEST_F(InterfaceArchiveTest, FindsNamesIgnoringCaseAndTheFirstDuplicateWins)
{
    const InterfaceArchive archive = Load(ArchiveBytes({{"channels.rd", "first"},
                                                        {"Favourites.TXT", "fav"},
                                                        {"CHANNELS.RD", "second"},
                                                        {"channels.rd", "third"},
                                                        {"\xC9t\xE9.rd", "accented"}}));
    const struct
    {
        QByteArray wanted;
        quint16 index;
    } cases[] = {
        {"channels.rd", 0},
        {"CHANNELS.RD", 0},
        {"ChAnNeLs.Rd", 0},
        {"favourites.txt", 1},
        {"FAVOURITES.TXT", 1},
        {"\xC9t\xE9.rd", 4},
        {"channels", kNoInterfaceEntry},     // a prefix is not the name
        {"channels.rd ", kNoInterfaceEntry}, // nor is a longer text
        {"channels.rdx", kNoInterfaceEntry},
        {"", kNoInterfaceEntry},
        {"missing.rd", kNoInterfaceEntry},
        {QByteArray("channels.rd\0junk", 16), 0}, // the wanted name also ends at a zero byte
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wanted.toHex().toStdString());
        EXPECT_EQ(FindInterfaceEntry(c.wanted, archive), c.index);
    }
    EXPECT_EQ(ReadInterfaceEntry(archive, FindInterfaceEntry("CHANNELS.rd", archive)),
              QByteArray("first"));
}

TEST_F(InterfaceArchiveTest, NamesAndDataEndAtTheFirstZeroByte)
{
    // Name "abc\0def" is stored with nameLength 7; data holds a zero byte in its middle.
    const InterfaceArchive archive =
        Load(ArchiveBytes({{QByteArray("abc\0def", 7), QByteArray("to\0day", 6)},
                           {"zero-first", QByteArray("\0rest", 5)},
                           {"plain", "text"}}));
    ASSERT_EQ(archive.entries.size(), 3u);
    EXPECT_EQ(archive.entries[0].name, QByteArray("abc"));
    EXPECT_EQ(archive.entries[0].nameLength, 7u);
    EXPECT_EQ(FindInterfaceEntry("ABC", archive), 0);
    EXPECT_EQ(FindInterfaceEntry(QByteArray("abc\0def", 7), archive), 0);
    EXPECT_EQ(ReadInterfaceEntry(archive, 0), QByteArray("to"));
    EXPECT_EQ(ReadInterfaceEntry(archive, 1), QByteArray(""));
    EXPECT_EQ(ReadInterfaceEntry(archive, 2), QByteArray("text"));
}

TEST_F(InterfaceArchiveTest, ReadsNeverBeyondDataSize)
{
    // Entry 0 says 3 bytes although the bytes after it run on into entry 1's data.
    QByteArray bytes = ArchiveBytes({{"a", "ABCDEF"}, {"b", "GH"}});
    bytes.replace(4 + 2 + 4 + 1, 4, Le32(3));
    const InterfaceArchive archive = Load(bytes);
    ASSERT_EQ(archive.entries.size(), 2u);
    EXPECT_EQ(ReadInterfaceEntry(archive, 0), QByteArray("ABC"));
    EXPECT_EQ(ReadInterfaceEntry(archive, 1), QByteArray("GH"));
}

TEST_F(InterfaceArchiveTest, ZeroEntriesLoadEmptyAndEveryLookupMisses)
{
    const InterfaceArchive archive = Load(ArchiveBytes({}, 7, 9));
    EXPECT_EQ(archive.header, 0x00090007u);
    EXPECT_EQ(archive.entryCount, 0);
    EXPECT_TRUE(archive.entries.empty());
    for (const QByteArray& name : {QByteArray("channels.rd"), QByteArray(""), QByteArray("x")})
        EXPECT_EQ(FindInterfaceEntry(name, archive), kNoInterfaceEntry);
    EXPECT_EQ(ReadInterfaceEntry(archive, kNoInterfaceEntry), QByteArray(""));
    EXPECT_EQ(ReadInterfaceEntry(archive, 0), QByteArray(""));
}

TEST_F(InterfaceArchiveTest, UnknownIndexReadsEmpty)
{
    const InterfaceArchive archive = Load(ArchiveBytes({{"a", "A"}, {"b", "B"}}));
    for (const quint16 index : {quint16(2), quint16(1000), kNoInterfaceEntry}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(ReadInterfaceEntry(archive, index), QByteArray(""));
    }
}

TEST_F(InterfaceArchiveTest, ReadsTheLoadedFileAgainOnEveryRequest)
{
    const InterfaceArchive archive = Load(ArchiveBytes({{"a", "old"}}));
    const QString elsewhere = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QDir::tempPath()));
    // Same layout, new bytes: the data is not kept in the index.
    m_folder.Write(QStringLiteral("Interface/radio.int"), ArchiveBytes({{"a", "new"}}));
    EXPECT_EQ(ReadInterfaceEntry(archive, 0), QByteArray("new"));
    QDir::setCurrent(elsewhere);
}

TEST_F(InterfaceArchiveTest, MissingOrUnreadableArchiveLoadsEmpty)
{
    QDir().mkpath(m_folder.FilePath(QStringLiteral("folder.int")));
    for (const QString& path : {m_folder.FilePath(QStringLiteral("none.int")),
                                m_folder.FilePath(QStringLiteral("folder.int")), QString()}) {
        SCOPED_TRACE(path.toStdString());
        const InterfaceArchive archive = LoadInterfaceArchive(path);
        EXPECT_TRUE(archive.entries.empty());
        EXPECT_EQ(archive.entryCount, 0);
        EXPECT_EQ(FindInterfaceEntry("channels.rd", archive), kNoInterfaceEntry);
        EXPECT_EQ(ReadInterfaceEntry(archive, 0), QByteArray(""));
    }
}

TEST_F(InterfaceArchiveTest, ArchiveRemovedAfterLoadingReadsEmpty)
{
    const InterfaceArchive archive = Load(ArchiveBytes({{"a", "data"}}));
    ASSERT_TRUE(QFile::remove(ArchivePath()));
    EXPECT_EQ(FindInterfaceEntry("a", archive), 0);
    EXPECT_EQ(ReadInterfaceEntry(archive, 0), QByteArray(""));
}

// Every prefix of a valid archive: entries whose directory record and offset were both read
// survive with their full fields, and their data reads as far as the prefix holds it.
TEST_F(InterfaceArchiveTest, EveryTruncationGivesTheIntactLeadingEntries)
{
    const std::vector<ArchiveEntry> raw = {
        {"channels.rd", "2\r\nGermany\r\n"}, {"b", "xy"}, {"third.rd", "Q"}};
    const QByteArray full = ArchiveBytes(raw);
    const qsizetype directoryEnd = 6 + (8 + 11) + (8 + 1) + (8 + 8);
    const InterfaceArchive whole = Load(full);
    ASSERT_EQ(whole.entries.size(), raw.size());

    for (qsizetype length = 0; length <= full.size(); ++length) {
        SCOPED_TRACE(length);
        const InterfaceArchive archive = Load(full.left(length));
        size_t expectedCount = 0;
        if (length >= directoryEnd)
            expectedCount = std::min<size_t>(raw.size(), size_t(length - directoryEnd) / 4);
        ASSERT_EQ(archive.entries.size(), expectedCount);
        EXPECT_EQ(archive.entryCount, expectedCount);
        if (length >= 4) {
            EXPECT_EQ(archive.header, 0u);
        }
        for (size_t i = 0; i < expectedCount; ++i) {
            const InterfaceEntry& entry = archive.entries[i];
            EXPECT_EQ(entry.name, whole.entries[i].name);
            EXPECT_EQ(entry.dataSize, whole.entries[i].dataSize);
            EXPECT_EQ(entry.dataOffset, whole.entries[i].dataOffset);
            const qsizetype held =
                std::clamp<qsizetype>(length - qsizetype(entry.dataOffset), 0, raw[i].data.size());
            EXPECT_EQ(ReadInterfaceEntry(archive, quint16(i)), raw[i].data.left(held));
        }
        EXPECT_EQ(FindInterfaceEntry("channels.rd", archive),
                  expectedCount > 0 ? 0 : kNoInterfaceEntry);
    }
}

// Lengths and offsets taken from a damaged file are checked against the file before use.
TEST_F(InterfaceArchiveTest, HostileFieldsGiveEmptyOrShortenedResults)
{
    const QByteArray valid = ArchiveBytes({{"a", "AAAA"}, {"b", "BB"}});
    const qsizetype firstNameLength = 6;
    const qsizetype secondNameLength = 6 + 4 + 1 + 4;
    const qsizetype firstDataSize = 6 + 4 + 1;
    const qsizetype secondDataSize = secondNameLength + 4 + 1;
    const qsizetype firstOffset = secondDataSize + 4;
    const qsizetype secondOffset = firstOffset + 4;
    ASSERT_EQ(valid.mid(firstOffset, 4), Le32(quint32(valid.size() - 6)));

    struct Case
    {
        const char* what;
        qsizetype at;
        QByteArray bytes;
        std::vector<QByteArray> names; // the index that loads
        std::vector<QByteArray> texts; // what each entry then reads
    };
    const Case cases[] = {
        {"first nameLength 0xFFFFFFFF", firstNameLength, Le32(0xFFFFFFFF), {}, {}},
        {"first nameLength one past the file",
         firstNameLength,
         Le32(quint32(valid.size())),
         {},
         {}},
        {"second nameLength 0xFFFFFFFF", secondNameLength, Le32(0xFFFFFFFF), {}, {}},
        {"entry count 65535", 4, Le16(0xFFFF), {}, {}},
        {"entry count 3 for two entries", 4, Le16(3), {}, {}},
        {"first offset far past the end", firstOffset, Le32(0xFFFFFFF0), {"a", "b"}, {"", "BB"}},
        {"first offset exactly at the end",
         firstOffset,
         Le32(quint32(valid.size())),
         {"a", "b"},
         {"", "BB"}},
        {"second offset on the last byte",
         secondOffset,
         Le32(quint32(valid.size() - 1)),
         {"a", "b"},
         {"AAAA", "B"}},
        {"first dataSize 0xFFFFFFFF",
         firstDataSize,
         Le32(0xFFFFFFFF),
         {"a", "b"},
         {"AAAABB", "BB"}},
        {"second dataSize past the end", secondDataSize, Le32(1000), {"a", "b"}, {"AAAA", "BB"}},
        {"offset into the header",
         firstOffset,
         Le32(0),
         {"a", "b"},
         {"", "BB"}}, // header words are 0
        {"entry count 1 for two entries",
         4,
         Le16(1),
         {"a"},
         {""}}, // the offset is read from "b"'s record
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray bytes = valid;
        bytes.replace(c.at, c.bytes.size(), c.bytes);
        const InterfaceArchive archive = Load(bytes);
        ASSERT_EQ(archive.entries.size(), c.names.size());
        EXPECT_EQ(archive.entryCount, c.names.size());
        for (size_t i = 0; i < c.names.size(); ++i) {
            EXPECT_EQ(archive.entries[i].name, c.names[i]);
            EXPECT_EQ(ReadInterfaceEntry(archive, quint16(i)), c.texts[i]) << "entry " << i;
        }
    }
}

TEST_F(InterfaceArchiveTest, CountOf65535OnATinyFileLoadsEmpty)
{
    for (const QByteArray& tail : {QByteArray(), Le32(1) + "a" + Le32(1), QByteArray(64, '\x01')}) {
        SCOPED_TRACE(tail.toHex().toStdString());
        const InterfaceArchive archive = Load(Le16(1) + Le16(2) + Le16(0xFFFF) + tail);
        EXPECT_EQ(archive.header, 0x00020001u);
        EXPECT_TRUE(archive.entries.empty());
        EXPECT_EQ(FindInterfaceEntry("a", archive), kNoInterfaceEntry);
    }
}

} // namespace
