#include "app/ProgramVersion.h"
#include "support/TempFolder.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

// The build folder: named by the test environment, else the folder this test program runs from
// (every program of the build lands there).
QString BuildDir()
{
    const QString named = qEnvironmentVariable("WAVELARK_BUILD_DIR");
    return named.isEmpty() ? QCoreApplication::applicationDirPath() : named;
}

QByteArray Word(quint16 value)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(value & 0xFF));
    bytes.append(static_cast<char>(value >> 8));
    return bytes;
}

QByteArray Marker()
{
    static constexpr unsigned char kMarker[] = {WAVELARK_VERSION_RECORD_MARKER_BYTES};
    return QByteArray(reinterpret_cast<const char*>(kMarker), sizeof kMarker);
}

// A record as the build writes it, with its check.
QByteArray Record(quint16 major, quint16 minor, quint16 patch = 0, quint16 build = 0)
{
    const QByteArray body = Marker() + Word(major) + Word(minor) + Word(patch) + Word(build);
    const auto check = quint32(VersionRecordCheck(
        reinterpret_cast<const unsigned char*>(body.constData()), unsigned(body.size())));
    return body + Word(quint16(check & 0xFFFF)) + Word(quint16(check >> 16));
}

// Bytes that look like program code but never spell the marker.
QByteArray Filler(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = static_cast<char>(random.bounded(0, 0x57)); // below 'W'
    return bytes;
}

class ProgramVersionTest : public ::testing::Test
{
protected:
    QString WriteFile(const QByteArray& bytes)
    {
        const QString name = QStringLiteral("program-%1").arg(m_files++);
        m_folder.Write(name, bytes);
        return m_folder.FilePath(name);
    }

    TempFolder m_folder;
    int m_files = 0;
};

TEST(ProgramVersionNumber, MajorAndMinorGoThroughTheirText)
{
    const struct
    {
        quint16 major;
        quint16 minor;
        float expected;
    } cases[] = {
        {3, 0, 3.0f}, {3, 10, 3.1f}, {3, 1, 3.1f},   {3, 100, 3.1f}, {3, 5, 3.5f},
        {1, 1, 1.1f}, {0, 0, 0.0f},  {10, 2, 10.2f}, {2, 25, 2.25f}, {3, 9, 3.9f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
        EXPECT_EQ(ProgramVersionFromNumbers(c.major, c.minor), c.expected);
    }
}

TEST_F(ProgramVersionTest, RecordAnywhereInTheFileGivesItsVersion)
{
    const qsizetype chunk = 1 << 20; // the reader's chunk size
    const struct
    {
        const char* where;
        QByteArray bytes;
        float expected;
        quint16 build;
    } cases[] = {
        {"whole file", Record(3, 0, 0, 1), 3.0f, 1},
        {"middle", Filler(5000, 1) + Record(3, 10, 2, 7) + Filler(300, 2), 3.1f, 7},
        {"end", Filler(777, 3) + Record(3, 1, 0, 4), 3.1f, 4},
        {"across a chunk boundary", Filler(chunk - 9, 4) + Record(4, 2, 0, 9) + Filler(100, 5),
         4.2f, 9},
        {"right after a chunk boundary", Filler(chunk, 6) + Record(5, 0, 0, 2), 5.0f, 2},
        {"marker without a valid check first",
         Filler(10, 7) + Marker() + Filler(40, 8) + Record(3, 0, 1, 3), 3.0f, 3},
        {"marker split by a chunk boundary before the record",
         Filler(chunk - 4, 9) + Marker() + Record(6, 1, 0, 5), 6.1f, 5},
        {"two records: the first wins", Record(3, 1, 0, 8) + Record(9, 9, 9, 9), 3.1f, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        const QString path = WriteFile(c.bytes);
        EXPECT_EQ(ProgramVersionFromFile(path), c.expected);
        const std::optional<VersionRecord> record = ReadVersionRecord(path);
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(record->build, c.build);
    }
}

TEST_F(ProgramVersionTest, NoValidRecordGivesOnePointOne)
{
    QByteArray wrongCheck = Record(3, 0);
    wrongCheck[wrongCheck.size() - 1] = static_cast<char>(wrongCheck.back() ^ 1);
    QByteArray changedWord = Record(3, 0);
    changedWord[8] = '\x04'; // major 4 under the check of major 3
    const struct
    {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"empty file", QByteArray()},
        {"no marker", Filler(100000, 10)},
        {"marker alone", Marker()},
        {"record cut before its check", Record(3, 0).left(18)},
        {"record at the end cut short", Filler(50, 11) + Record(3, 0).chopped(1)},
        {"wrong check", Filler(50, 12) + wrongCheck + Filler(50, 13)},
        {"word changed after the check was made", changedWord},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = WriteFile(c.bytes);
        EXPECT_FALSE(ReadVersionRecord(path).has_value());
        EXPECT_EQ(ProgramVersionFromFile(path), 1.1f);
    }
    EXPECT_EQ(ProgramVersionFromFile(m_folder.FilePath(QStringLiteral("missing"))), 1.1f);
}

TEST(ProgramVersionOfPrograms, TheProgramCarriesTheProjectVersion)
{
    const QString program = BuildDir() + QStringLiteral("/wavelark");
    ASSERT_TRUE(QFile::exists(program)) << program.toStdString();
    const std::optional<VersionRecord> record = ReadVersionRecord(program);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->major, 3);
    EXPECT_EQ(record->minor, 0);
    EXPECT_EQ(record->patch, 0);
    EXPECT_EQ(record->build, 1);
    EXPECT_EQ(ProgramVersionFromFile(program), 3.0f);
}

// The test program links the reader, whose own marker constant must not pass for a record.
TEST(ProgramVersionOfPrograms, AProgramWithoutRecordReadsOnePointOneAndTheWorkingFolder)
{
    TempFolder folder;
    const ShellValues values = ReadProgramVersion();
    EXPECT_EQ(values.ProgramVersion, 1.1f);
    EXPECT_EQ(values.WorkingFolder, QDir::currentPath());
    EXPECT_EQ(QDir(values.WorkingFolder).canonicalPath(), QDir(folder.Path()).canonicalPath());
    EXPECT_FALSE(values.WorkingFolder.endsWith(QLatin1Char('/')));
}

} // namespace

TEST(ProgramVersionText, ShowsMajorAndMinorAsTheVersionRuleReadsThem)
{
    const struct
    {
        float version;
        const char* text;
    } cases[] = {{3.0f, "3.0"}, {3.1f, "3.1"}, {1.1f, "1.1"}, {3.25f, "3.25"}, {10.0f, "10.0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ProgramVersionText(c.version), QByteArray(c.text));
    }
}
