#include "app/InterfaceArchive.h"
#include "directory/ChannelListText.h"
#include "support/TempFolder.h"

#include <QFile>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

// One record of four lines with CR LF ends, lines given as they stand in the file.
QByteArray Record(const QByteArray& category, const QByteArray& info, const QByteArray& number,
                  const QByteArray& name)
{
    return category + "\r\n" + info + "\r\n" + number + "\r\n" + name + "\r\n";
}

void ExpectUnreached(const ChannelList& list, qint32 from)
{
    for (qint32 i = from; i < list.count; ++i) {
        SCOPED_TRACE(i);
        const ChannelRecord& record = list.records[static_cast<std::size_t>(i)];
        EXPECT_TRUE(record.category.isEmpty());
        EXPECT_TRUE(record.infoText.isEmpty());
        EXPECT_TRUE(record.name.isEmpty());
        EXPECT_EQ(record.number, 0);
        EXPECT_EQ(record.position, i);
        EXPECT_EQ(record.available, 0);
    }
}

struct CleanCase
{
    QByteArray line;
    QByteArray cleaned;
};

TEST(ChannelListText, RecordLinesLoseCommentAndTrailingBlanks)
{
    const CleanCase cases[] = {
        {"Jazz Radio #comment", "Jazz Radio"},
        {"ab#c", "a"},   // the character before "#" goes with the comment
        {"#x", "#x"},    // "#" at index 0 is text
        {"a#x", "a#x"},  // "#" at index 1 is text
        {"#a #b", "#a"}, // a later "#" still starts a comment
        {"Jazz#Radio", "Jaz"},
        {"ab#", "a"},
        {"ab #", "ab"},
        {"Rheinland Rhythmus  # note", "Rheinland Rhythmus"},
        {"Trailing   ", "Trailing"},
        {"Mixed \t\v\f", "Mixed"},
        {"Inner  blanks stay", "Inner  blanks stay"},
        {"  Leading stays", "  Leading stays"},
        {"Bergstra\xDF"
         "e",
         "Bergstra\xDF"
         "e"}, // bytes are never re-encoded
    };
    for (const CleanCase& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        const ChannelList list =
            ParseChannelListText("1\r\n" + Record(c.line, c.line, "1", c.line));
        ASSERT_EQ(list.count, 1);
        ASSERT_EQ(list.records.size(), 1u);
        EXPECT_EQ(list.records[0].category, c.cleaned);
        EXPECT_EQ(list.records[0].infoText, c.cleaned);
        EXPECT_EQ(list.records[0].name, c.cleaned);
    }
}

TEST(ChannelListText, AUtf8CatalogueCountsCharactersForTheCommentRule)
{
    // "Ж" is two bytes: counted as bytes, "#" would cut the second letter in half or take a
    // "#" after one letter for a comment.
    const CleanCase cases[] = {
        {"\xD0\x96\xD0\x96#x", "\xD0\x96"}, // "ЖЖ#x": "#" is the third character
        {"\xD0\x96#x", "\xD0\x96#x"},       // "Ж#x": "#" is the second, text
        {"#\xD0\x96", "#\xD0\x96"},         // "#" first, text
        {"\xE2\x82\xAC\xE2\x82\xAC #c", "\xE2\x82\xAC\xE2\x82\xAC"}, // "€€ #c"
        {"ab\xD0\x96#c", "ab"},                                      // the whole letter goes
        {"Jazz Radio #comment", "Jazz Radio"},
        {"ab#c", "a"},
    };
    for (const CleanCase& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        const ChannelList list = ParseChannelListText("\xEF\xBB\xBF"
                                                      "1\r\n" +
                                                      Record(c.line, c.line, "1", c.line));
        ASSERT_EQ(list.records.size(), 1u);
        EXPECT_EQ(list.encoding, TextEncoding::Utf8);
        EXPECT_EQ(list.records[0].category, c.cleaned);
        EXPECT_EQ(list.records[0].infoText, c.cleaned);
        EXPECT_EQ(list.records[0].name, c.cleaned);
        EXPECT_TRUE(list.records[0].name.isValidUtf8());
    }
}

struct NumberCase
{
    QByteArray line;
    qint32 number;
};

TEST(ChannelListText, NumberLineReadsLikeAtoiAfterCleaning)
{
    const NumberCase cases[] = {
        {"12 #c", 12},
        {"1042 # station number", 1042},
        {"Radio", 0},
        {"", 0},
        {" \t-7", -7},
        {"+3x", 3},
        {"- 5", 0},
        {"1#5", 1},  // "#" at index 1 is text, atoi stops there
        {"12#5", 1}, // the comment takes the "2" with it
        {"99999999999", std::numeric_limits<qint32>::max()},
        {"-99999999999", std::numeric_limits<qint32>::min()},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        const ChannelList list = ParseChannelListText("1\r\n" + Record("C", "I", c.line, "N"));
        ASSERT_EQ(list.records.size(), 1u);
        EXPECT_EQ(list.records[0].number, c.number);
    }
}

TEST(ChannelListText, ReadLeadingIntegerNeverOverflows)
{
    const NumberCase cases[] = {
        {"0", 0},
        {"007", 7},
        {"\t\n\v\f\r 42", 42},
        {"1e5", 1},
        {"--5", 0},
        {"+-5", 0},
        {"2147483647", std::numeric_limits<qint32>::max()},
        {"2147483648", std::numeric_limits<qint32>::max()},
        {"-2147483648", std::numeric_limits<qint32>::min()},
        {"-2147483649", std::numeric_limits<qint32>::min()},
        {QByteArray(400, '9'), std::numeric_limits<qint32>::max()},
        {"12\r", 12},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.line.left(40).toStdString());
        EXPECT_EQ(ReadLeadingInteger(c.line), c.number);
    }
}

TEST(ChannelListText, ThreeRecordsGiveThreePositionsAndAvailable)
{
    const QByteArray text = "3\r\n" + Record("Germany", "Info A", "101", "Alpha") +
                            Record("France", "Info B", "102", "Beta") +
                            Record("Italy", "Info C", "103", "Gamma");
    const ChannelList list = ParseChannelListText(text);
    ASSERT_EQ(list.count, 3);
    ASSERT_EQ(list.records.size(), 3u);
    const char* names[] = {"Alpha", "Beta", "Gamma"};
    const char* categories[] = {"Germany", "France", "Italy"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const ChannelRecord& record = list.records[static_cast<std::size_t>(i)];
        EXPECT_EQ(record.name, QByteArray(names[i]));
        EXPECT_EQ(record.category, QByteArray(categories[i]));
        EXPECT_EQ(record.number, 101 + i);
        EXPECT_EQ(record.position, i);
        EXPECT_EQ(record.available, 1);
    }

    // LF-only line ends parse exactly as CR LF ones.
    QByteArray lfOnly = text;
    lfOnly.replace("\r\n", "\n");
    const ChannelList same = ParseChannelListText(lfOnly);
    ASSERT_EQ(same.count, 3);
    ASSERT_EQ(same.records.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(same.records[i].category, list.records[i].category);
        EXPECT_EQ(same.records[i].infoText, list.records[i].infoText);
        EXPECT_EQ(same.records[i].number, list.records[i].number);
        EXPECT_EQ(same.records[i].name, list.records[i].name);
    }
}

TEST(ChannelListText, EmptyNameEndsTheParseAfterThatRecord)
{
    const QByteArray text = "4\r\n" + Record("Germany", "Info A", "1", "Alpha") +
                            Record("France", "Info B", "2", "  # only a comment") +
                            Record("Italy", "Info C", "3", "Gamma") +
                            Record("Spain", "Info D", "4", "Delta");
    const ChannelList list = ParseChannelListText(text);
    ASSERT_EQ(list.count, 4);
    ASSERT_EQ(list.records.size(), 4u);
    EXPECT_EQ(list.records[0].name, QByteArrayLiteral("Alpha"));
    EXPECT_EQ(list.records[1].category, QByteArrayLiteral("France"));
    EXPECT_TRUE(list.records[1].name.isEmpty());
    EXPECT_EQ(list.records[1].position, 1);
    EXPECT_EQ(list.records[1].available, 1);
    ExpectUnreached(list, 2);
    EXPECT_EQ(FindChannelByName(list, QByteArrayLiteral("Gamma")), -1);
}

struct ShortTextCase
{
    const char* label;
    QByteArray text;
    qint32 count;
    std::vector<QByteArray> names; // of the records the parse reached
};

TEST(ChannelListText, TextEndingEarlyLeavesTheRestEmpty)
{
    const ShortTextCase cases[] = {
        {"count larger than records",
         "5\r\n" + Record("C", "I", "1", "One") + Record("C", "I", "2", "Two"),
         5,
         {"One", "Two"}},
        {"no LF at all", "3", 3, {}},
        {"count line then nothing", "3\r\n", 3, {}},
        {"last line without line end", "2\r\nC\r\nI\r\n7\r\nOne", 2, {"One"}},
        {"text ends inside a record", "2\nC\nI", 2, {""}},
        {"text ends after the number line", "2\nC\nI\n7\n", 2, {""}},
        {"records past the count are ignored",
         "1\r\n" + Record("C", "I", "1", "One") + Record("C", "I", "2", "Two"),
         1,
         {"One"}},
        {"comment after the count",
         "2 # two\r\n" + Record("C", "I", "1", "One") + Record("C", "I", "2", "Two"),
         2,
         {"One", "Two"}},
    };
    for (const ShortTextCase& c : cases) {
        SCOPED_TRACE(c.label);
        const ChannelList list = ParseChannelListText(c.text);
        ASSERT_EQ(list.count, c.count);
        ASSERT_EQ(list.records.size(), static_cast<std::size_t>(c.count));
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(list.records[i].name, c.names[i]);
            EXPECT_EQ(list.records[i].position, static_cast<qint32>(i));
            EXPECT_EQ(list.records[i].available, 1);
        }
        ExpectUnreached(list, static_cast<qint32>(c.names.size()));
    }
}

TEST(ChannelListText, NonPositiveOrNonNumericCountGivesEmptyList)
{
    const QByteArray body = Record("C", "I", "1", "One");
    const QByteArray counts[] = {"", "0", "-3", "abc", "\r", "- 2", "#2", "x3"};
    for (const QByteArray& count : counts) {
        SCOPED_TRACE(count.toStdString());
        const ChannelList list = ParseChannelListText(count + "\r\n" + body);
        EXPECT_EQ(list.count, 0);
        EXPECT_TRUE(list.records.empty());
    }
    EXPECT_EQ(ParseChannelListText(QByteArray()).count, 0);
}

TEST(ChannelListText, HugeCountAllocatesOnlyWhatTheTextCanHold)
{
    const QByteArray counts[] = {"2000000000", "2147483647", "99999999999999999999"};
    for (const QByteArray& count : counts) {
        SCOPED_TRACE(count.toStdString());
        const ChannelList list =
            ParseChannelListText(count + "\r\n" + Record("C", "I", "1", "One"));
        EXPECT_EQ(list.count, kSpareChannelRecords);
        ASSERT_EQ(list.records.size(), static_cast<std::size_t>(list.count));
        EXPECT_EQ(list.records[0].name, QByteArrayLiteral("One"));
        ExpectUnreached(list, 1);
    }

    // A text holding more records than the spare allowance keeps every one of them.
    const int present = kSpareChannelRecords + 200;
    QByteArray text = "2000000000\r\n";
    for (int i = 0; i < present; ++i)
        text += Record("C", "I", QByteArray::number(i), "Channel " + QByteArray::number(i));
    const ChannelList many = ParseChannelListText(text);
    ASSERT_GE(many.count, present);
    ASSERT_EQ(many.records.size(), static_cast<std::size_t>(many.count));
    EXPECT_LE(many.count, present + 1);
    EXPECT_EQ(many.records[static_cast<std::size_t>(present - 1)].name,
              "Channel " + QByteArray::number(present - 1));
    EXPECT_EQ(many.records[static_cast<std::size_t>(present - 1)].number, present - 1);
}

TEST(ChannelListText, ShippedCatalogueParses)
{
    QFile file(qEnvironmentVariable("WAVELARK_SOURCE_DIR") + QStringLiteral("/data/channels.rd"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const ChannelList list = ParseChannelListText(file.readAll());
    ASSERT_EQ(list.count, 40);
    ASSERT_EQ(list.records.size(), 40u);
    EXPECT_EQ(list.records.front().category, QByteArrayLiteral("Germany"));
    EXPECT_EQ(list.records.front().name, QByteArrayLiteral("Elbwelle Hamburg"));
    EXPECT_EQ(list.records.front().infoText,
              QByteArrayLiteral("Elbwelle Hamburg: music and news from Germany"));
    EXPECT_EQ(list.records.front().number, 1007);
    EXPECT_EQ(list.records.back().category, QByteArrayLiteral("Ireland"));
    EXPECT_EQ(list.records.back().name, QByteArrayLiteral("Kerry Hills Trad"));
    EXPECT_EQ(list.records.back().number, 1280);
    EXPECT_EQ(list.records[3].name, QByteArrayLiteral("Rheinland Rhythmus"));
    EXPECT_EQ(list.records[4].name, QByteArrayLiteral("Bergstra\xDF"
                                                      "e Oldies"));
    for (std::size_t i = 0; i < list.records.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(list.records[i].position, static_cast<qint32>(i));
        EXPECT_EQ(list.records[i].available, 1);
        EXPECT_FALSE(list.records[i].name.isEmpty());
        EXPECT_FALSE(list.records[i].name.contains('\r'));
        EXPECT_FALSE(list.records[i].category.contains('#'));
    }
}

// Writes an archive in the layout the reader expects: two header words, the entry count, the
// directory {nameLength, name, dataSize}, the offset table, then the data.
void WriteArchive(const QString& path,
                  const std::vector<std::pair<QByteArray, QByteArray>>& entries)
{
    auto u16 = [](QByteArray& out, quint16 v) {
        out += char(v & 0xFF);
        out += char(v >> 8);
    };
    auto u32 = [](QByteArray& out, quint32 v) {
        for (int shift = 0; shift < 32; shift += 8)
            out += char((v >> shift) & 0xFF);
    };
    QByteArray head;
    u16(head, 1);
    u16(head, 2);
    u16(head, static_cast<quint16>(entries.size()));
    for (const auto& [name, data] : entries) {
        u32(head, static_cast<quint32>(name.size()));
        head += name;
        u32(head, static_cast<quint32>(data.size()));
    }
    quint32 offset = static_cast<quint32>(head.size() + 4 * entries.size());
    QByteArray data;
    for (const auto& entry : entries) {
        u32(head, offset);
        offset += static_cast<quint32>(entry.second.size());
        data += entry.second;
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(head + data);
}

TEST(ChannelListText, ParseChannelListReplacesTheCatalogueList)
{
    TempFolder folder;
    const QString withList = folder.FilePath(QStringLiteral("with.int"));
    const QString withoutList = folder.FilePath(QStringLiteral("without.int"));
    WriteArchive(withList, {{"readme.txt", "2\r\n" + Record("X", "X", "9", "Decoy")},
                            {"Channels.RD", "2\r\n" + Record("C", "I", "5", "One") +
                                                Record("C", "I", "6", "Two")}});
    WriteArchive(withoutList, {{"readme.txt", "1\r\n" + Record("X", "X", "9", "Decoy")}});

    Catalogue catalogue;
    catalogue.RadioChannelList = ParseChannelListText("3\r\n" + Record("O", "O", "1", "Old"));
    ParseChannelList(catalogue, LoadInterfaceArchive(withList));
    ASSERT_EQ(catalogue.RadioChannelList.count, 2);
    ASSERT_EQ(catalogue.RadioChannelList.records.size(), 2u);
    EXPECT_EQ(catalogue.RadioChannelList.records[0].name, QByteArrayLiteral("One"));
    EXPECT_EQ(catalogue.RadioChannelList.records[1].name, QByteArrayLiteral("Two"));

    ParseChannelList(catalogue, LoadInterfaceArchive(withoutList));
    EXPECT_EQ(catalogue.RadioChannelList.count, 0);
    EXPECT_TRUE(catalogue.RadioChannelList.records.empty());

    catalogue.RadioChannelList = ParseChannelListText("1\r\n" + Record("O", "O", "1", "Old"));
    ParseChannelList(catalogue, LoadInterfaceArchive(folder.FilePath(QStringLiteral("none.int"))));
    EXPECT_EQ(catalogue.RadioChannelList.count, 0);
    EXPECT_TRUE(catalogue.RadioChannelList.records.empty());
}

} // namespace

TEST(ChannelListText, AByteOrderMarkMakesTheCatalogueUtf8AndOtherBytesReadAsBefore)
{
    const struct
    {
        const char* what;
        QByteArray text;
        TextEncoding encoding;
        QByteArray name;
        QString shown;
    } cases[] = {
        {"unmarked, bytes above 127 kept as they are",
         "1\nDeutschland\nK\xF6ln\n7\nRadio K\xF6ln\n", TextEncoding::Windows1252, "Radio K\xF6ln",
         QStringLiteral("Radio K\u00F6ln")},
        {"unmarked UTF-8 bytes are Windows-1252 too", "1\nX\nY\n7\n\xD0\x9C\n",
         TextEncoding::Windows1252, "\xD0\x9C", QStringLiteral("\u00D0\u0153")},
        {"marked",
         "\xEF\xBB\xBF"
         "1\r\nRussia\r\nTip\r\n7\r\n\xD0\x9C\xD0\xB0\xD1\x8F\xD0\xBA\r\n",
         TextEncoding::Utf8, "\xD0\x9C\xD0\xB0\xD1\x8F\xD0\xBA",
         QStringLiteral("\u041C\u0430\u044F\u043A")},
        // Only at the very start: anywhere else the three bytes are part of a text.
        {"mark after a blank",
         " \xEF\xBB\xBF"
         "1\nX\nY\n7\nZ\n",
         TextEncoding::Windows1252,
         "",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ChannelList list = ParseChannelListText(c.text);
        EXPECT_EQ(list.encoding, c.encoding);
        if (c.name.isEmpty()) {
            EXPECT_TRUE(list.records.empty());
            continue;
        }
        ASSERT_EQ(list.records.size(), 1u);
        EXPECT_EQ(list.records[0].name, c.name);
        EXPECT_EQ(list.records[0].number, 7);
        EXPECT_EQ(DecodeText(list.encoding, list.records[0].name), c.shown);
    }
}
