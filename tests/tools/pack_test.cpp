#include "app/InterfaceArchive.h"
#include "support/TempFolder.h"
#include "support/TestArchive.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>
#include <vector>

namespace {

// The build folder: named by the test environment, else the folder this test program runs from
// (every program of the build lands there).
QString BuildDir()
{
    const QString named = qEnvironmentVariable("WAVELARK_BUILD_DIR");
    return named.isEmpty() ? QCoreApplication::applicationDirPath() : named;
}

constexpr int kProcessTimeoutMs = 30000;

struct RunResult
{
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

RunResult RunPack(const QStringList& arguments)
{
    QProcess process;
    process.start(BuildDir() + QStringLiteral("/wavelark-pack"), arguments);
    RunResult result;
    if (!process.waitForStarted(kProcessTimeoutMs))
        return result;
    result.finished = process.waitForFinished(kProcessTimeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(kProcessTimeoutMs);
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

class PackTest : public ::testing::Test
{
protected:
    QString Write(const QString& name, const QByteArray& bytes)
    {
        m_folder.Write(name, bytes);
        return m_folder.FilePath(name);
    }

    TempFolder m_folder;
};

TEST_F(PackTest, UsageErrorsExitWithTwo)
{
    const QString archive = Write(QStringLiteral("a.int"), ArchiveBytes({{"x", "1"}}));
    const QStringList cases[] = {
        {},
        {QStringLiteral("list")},
        {QStringLiteral("create"), archive},
        {QStringLiteral("cat"), archive},
        {QStringLiteral("cat"), archive, QStringLiteral("x"), QStringLiteral("y")},
        {QStringLiteral("list"), archive, QStringLiteral("extra")},
        {QStringLiteral("channels"), archive, QStringLiteral("extra")},
        {QStringLiteral("unpack"), archive},
        {QStringLiteral("LIST"), archive},
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        const RunResult result = RunPack(arguments);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.out.isEmpty());
        EXPECT_TRUE(result.err.contains("usage")) << result.err.toStdString();
    }
}

TEST_F(PackTest, CreateLaysOutBaseNamesInTheGivenOrder)
{
    const QString first = Write(QStringLiteral("in/x"), "AB");
    const QString second = Write(QStringLiteral("in/deeper/yz"), "");
    const QString third = Write(QStringLiteral("in/w.rd"), QByteArray("\xE9\0\r\n", 4));
    const QString archive = m_folder.FilePath(QStringLiteral("out.int"));

    const RunResult result = RunPack({QStringLiteral("create"), archive, first, second, third});
    ASSERT_TRUE(result.finished);
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();

    // header | count 3 | {1,"x",2} {2,"yz",0} {4,"w.rd",4} | offsets | data
    const quint32 dataStart = 6 + 9 + 10 + 12 + 12;
    const QByteArray expected = Le32(0) + Le16(3) + Le32(1) + "x" + Le32(2) + Le32(2) + "yz" +
                                Le32(0) + Le32(4) + "w.rd" + Le32(4) + Le32(dataStart) +
                                Le32(dataStart + 2) + Le32(dataStart + 2) + "AB" +
                                QByteArray("\xE9\0\r\n", 4);
    EXPECT_EQ(m_folder.Read(QStringLiteral("out.int")).toHex(' ').toStdString(),
              expected.toHex(' ').toStdString());

    const InterfaceArchive loaded = LoadInterfaceArchive(archive);
    ASSERT_EQ(loaded.entries.size(), 3u);
    EXPECT_EQ(ReadInterfaceEntry(loaded, FindInterfaceEntry("W.RD", loaded)), QByteArray("\xE9"));
}

TEST_F(PackTest, CreateFailsWithoutTouchingAnExistingArchive)
{
    const QString archive = Write(QStringLiteral("keep.int"), "previous bytes");
    const QString present = Write(QStringLiteral("present.rd"), "data");
    const QStringList cases[] = {
        {QStringLiteral("create"), archive, present,
         m_folder.FilePath(QStringLiteral("missing.rd"))},
        {QStringLiteral("create"), archive, m_folder.Path()}, // a folder is no input file
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        const RunResult result = RunPack(arguments);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_FALSE(result.err.isEmpty());
        EXPECT_EQ(m_folder.Read(QStringLiteral("keep.int")), QByteArray("previous bytes"));
    }
    const RunResult unwritable =
        RunPack({QStringLiteral("create"), m_folder.FilePath(QStringLiteral("no/such/folder.int")),
                 present});
    ASSERT_TRUE(unwritable.finished);
    EXPECT_EQ(unwritable.exitCode, 1);
}

TEST_F(PackTest, ListPrintsIndexNameSizeOffset)
{
    QByteArray bytes =
        ArchiveBytes({{"channels.rd", "abc"}, {"CHANNELS.RD", "de"}, {"\xE9t\xE9", ""}});
    const QString archive = Write(QStringLiteral("a.int"), bytes);
    const quint32 dataStart = 6 + 19 + 19 + 11 + 12;
    const RunResult result = RunPack({QStringLiteral("list"), archive});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    const QByteArray expected = "0\tchannels.rd\t3\t" + QByteArray::number(dataStart) + "\n" +
                                "1\tCHANNELS.RD\t2\t" + QByteArray::number(dataStart + 3) + "\n" +
                                "2\t\xE9t\xE9\t0\t" + QByteArray::number(dataStart + 5) + "\n";
    EXPECT_EQ(result.out, expected);

    // A damaged archive lists what the program itself would load: here nothing.
    const QString damaged = Write(QStringLiteral("damaged.int"), bytes.left(20));
    const RunResult partial = RunPack({QStringLiteral("list"), damaged});
    ASSERT_TRUE(partial.finished);
    EXPECT_EQ(partial.exitCode, 0);
    EXPECT_EQ(partial.out, QByteArray());
}

TEST_F(PackTest, CatWritesWhatTheProgramReads)
{
    const QString archive =
        Write(QStringLiteral("a.int"),
              ArchiveBytes({{"channels.rd", QByteArray("1\r\n\x80\xFF\r\n\0hidden", 15)},
                            {"Channels.rd", "second"},
                            {"empty", ""}}));
    const struct
    {
        const char* name;
        int exitCode;
        QByteArray out;
    } cases[] = {
        {"channels.rd", 0, "1\r\n\x80\xFF\r\n"},
        {"CHANNELS.RD", 0, "1\r\n\x80\xFF\r\n"},
        {"empty", 0, ""},
        {"missing", 1, ""},
        {"channels", 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult result =
            RunPack({QStringLiteral("cat"), archive, QString::fromLatin1(c.name)});
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err.isEmpty(), c.exitCode == 0) << result.err.toStdString();
    }
}

TEST_F(PackTest, MissingArchiveFailsWithOne)
{
    const QString missing = m_folder.FilePath(QStringLiteral("none.int"));
    const QStringList cases[] = {
        {QStringLiteral("list"), missing},
        {QStringLiteral("cat"), missing, QStringLiteral("channels.rd")},
        {QStringLiteral("channels"), missing},
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.first().toStdString());
        const RunResult result = RunPack(arguments);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.out.isEmpty());
        EXPECT_FALSE(result.err.isEmpty());
    }
}

TEST_F(PackTest, ChannelsPrintsEveryRecordOfTheCatalogueText)
{
    const struct
    {
        const char* what;
        QByteArray text;
        QByteArray out;
    } cases[] = {
        {"comments, blanks and Windows-1252 bytes",
         "2 # two channels\r\n"
         "Germany # country\r\n"
         "Jazz Radio # tool tip\r\n"
         "12 # number\r\n"
         "Caf\xE9 Jazz  \r\n"
         "#France\r\n"
         "ab#c\r\n"
         "x7\r\n"
         "Radio \xC9t\xE9\r\n",
         // Printed as UTF-8.
         "0\t12\tGermany\tCaf\xC3\xA9 Jazz\tJazz Radio\t1\n"
         "1\t0\t#France\tRadio \xC3\x89t\xC3\xA9\ta\t1\n"},
        {"LF line ends and text after the last record",
         "1\nNorway\nInfo\n-3\nFjord FM\nleft over\n", "0\t-3\tNorway\tFjord FM\tInfo\t1\n"},
        {"count 0", "0\r\nA\r\nB\r\n1\r\nC\r\n", ""},
        {"negative count", "-4\r\nA\r\nB\r\n1\r\nC\r\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString archive =
            Write(QStringLiteral("c.int"),
                  ArchiveBytes({{"other.rd", "9\r\n"}, {"CHANNELS.rd", c.text}}));
        const RunResult result = RunPack({QStringLiteral("channels"), archive});
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_EQ(result.out, c.out);
    }
}

TEST_F(PackTest, ChannelsPrintsTheAnnouncedCountWhenTheTextStopsEarly)
{
    // The empty name ends the parse: the third record is announced but never filled.
    const QString archive =
        Write(QStringLiteral("c.int"),
              ArchiveBytes({{"channels.rd", "3\r\nA\r\nia\r\n1\r\nOne\r\nB\r\nib\r\n2\r\n\r\n"
                                            "C\r\nic\r\n3\r\nThree\r\n"}}));
    const RunResult result = RunPack({QStringLiteral("channels"), archive});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    const QList<QByteArray> lines = result.out.split('\n');
    ASSERT_EQ(lines.size(), 4); // three records and the empty rest after the last LF
    EXPECT_EQ(lines[0], QByteArray("0\t1\tA\tOne\tia\t1"));
    EXPECT_EQ(lines[1], QByteArray("1\t2\tB\t\tib\t1"));
    EXPECT_FALSE(lines[2].contains("Three"));
    EXPECT_TRUE(lines[3].isEmpty());
}

TEST_F(PackTest, ChannelsWithoutCatalogueEntryPrintsNothing)
{
    const QString archive = Write(QStringLiteral("c.int"),
                                  ArchiveBytes({{"channels.rdx", "1\r\nA\r\nB\r\n1\r\nC\r\n"}}));
    const RunResult result = RunPack({QStringLiteral("channels"), archive});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, QByteArray());
}

TEST(PackShippedArchive, ChannelsListsTheFortyDemoChannels)
{
    const QString archive = BuildDir() + QStringLiteral("/Interface/radio.int");
    ASSERT_TRUE(QFile::exists(archive));
    const RunResult result = RunPack({QStringLiteral("channels"), archive});
    ASSERT_TRUE(result.finished);
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    QList<QByteArray> lines = result.out.split('\n');
    ASSERT_EQ(lines.takeLast(), QByteArray());
    ASSERT_EQ(lines.size(), 40);
    for (int i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        const QList<QByteArray> fields = lines[i].split('\t');
        ASSERT_EQ(fields.size(), 6) << lines[i].toStdString();
        EXPECT_EQ(fields[0], QByteArray::number(i));
        EXPECT_GT(fields[1].toInt(), 0);
        EXPECT_FALSE(fields[2].isEmpty());
        EXPECT_FALSE(fields[3].isEmpty());
        EXPECT_FALSE(fields[3].endsWith(' ') || fields[3].endsWith('\r') ||
                     fields[3].contains('#'));
        EXPECT_EQ(fields[5], QByteArray("1"));
    }
    EXPECT_EQ(lines[0], QByteArray("0\t1007\tGermany\tElbwelle Hamburg\tElbwelle Hamburg: music "
                                   "and news from Germany\t1"));
}

} // namespace
