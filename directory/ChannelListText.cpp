#include "directory/ChannelListText.h"

#include "app/InterfaceArchive.h"

#include <QLoggingCategory>
#include <QSet>
#include <algorithm>
#include <cstddef>
#include <limits>

Q_LOGGING_CATEGORY(lcChannelList, "wavelark.directory.channellist")

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Drops a trailing comment and trailing white space from one record line. The separator just
// before "#" goes with the comment; a "#" in the first two characters is part of the text. In a
// UTF-8 text characters are counted, not bytes, so a letter of two or more bytes counts once
// and the separator dropped is a whole character.
QByteArray CleanRecordLine(QByteArray line, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8) {
        qsizetype characters = 0;
        qsizetype lastStart = 0; // where the character before the current byte starts
        for (qsizetype i = 0; i < line.size(); ++i) {
            if (IsUtf8Continuation(line[i]))
                continue;
            // "#" is a byte of its own in UTF-8: it never sits inside another character.
            if (line[i] == '#' && characters >= 2) {
                line.truncate(lastStart);
                break;
            }
            lastStart = i;
            ++characters;
        }
    } else {
        const qsizetype hash = line.indexOf('#', 2);
        if (hash >= 2)
            line.truncate(hash - 1);
    }
    while (!line.isEmpty() && IsBlank(line.back()))
        line.chop(1);
    return line;
}

// Walks the text line by line. A line runs up to the next LF (exclusive); a line without LF
// runs to the end of the text, and every line after it is empty.
class LineReader
{
public:
    LineReader(const QByteArray& text, qsizetype start) : m_text(text), m_next(start) {}

    bool AtEnd() const { return m_next < 0 || m_next >= m_text.size(); }

    QByteArray Take()
    {
        if (m_next < 0)
            return QByteArray();
        const qsizetype lineFeed = m_text.indexOf('\n', m_next);
        QByteArray line;
        if (lineFeed < 0) {
            line = m_text.mid(m_next);
            m_next = -1;
        } else {
            line = m_text.mid(m_next, lineFeed - m_next);
            m_next = lineFeed + 1;
        }
        return line;
    }

private:
    const QByteArray& m_text;
    qsizetype m_next; // start of the next line, -1 once the text is used up
};

} // namespace

qint32 ReadLeadingInteger(const QByteArray& text)
{
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < size && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate the magnitude in 64 bits and stop growing it once it is past the 32-bit range,
    // so any number of digits reads without overflow.
    constexpr qint64 kLimit = qint64(std::numeric_limits<qint32>::max()) + 1;
    qint64 magnitude = 0;
    for (; i < size && IsDigit(text[i]); ++i) {
        if (magnitude <= kLimit)
            magnitude = magnitude * 10 + (text[i] - '0');
    }
    const qint64 value = negative ? -magnitude : magnitude;
    return static_cast<qint32>(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(),
                                                  std::numeric_limits<qint32>::max()));
}

ChannelList ParseChannelListText(const QByteArray& text)
{
    ChannelList list;
    qsizetype start = 0;
    if (text.startsWith(kUtf8ByteOrderMark)) {
        list.encoding = TextEncoding::Utf8;
        start = qsizetype(sizeof kUtf8ByteOrderMark) - 1;
    }
    LineReader lines(text, start);
    const QByteArray countLine = lines.Take();
    const qint32 announced = ReadLeadingInteger(countLine);
    if (announced <= 0)
        return list;

    // Record i can only be reached when at least 4·i line feeds precede it, so the text holds
    // at most LF/4 + 1 records; anything beyond that would be empty records only.
    const qint64 holdable = text.count('\n') / 4 + 1;
    const qint64 limit = std::max<qint64>(kSpareChannelRecords, holdable);
    if (announced > limit) {
        qCWarning(lcChannelList) << "catalogue announces" << announced << "channels; keeping"
                                 << limit;
    }
    list.count = static_cast<qint32>(std::min<qint64>(announced, limit));
    list.records.resize(static_cast<std::size_t>(list.count));
    for (qint32 i = 0; i < list.count; ++i)
        list.records[static_cast<std::size_t>(i)].position = i;

    bool lastLineEmpty = countLine.isEmpty();
    // A few categories repeat over thousands of records: each text is held once and shared.
    QSet<QByteArray> categories;
    for (qint32 i = 0; i < list.count; ++i) {
        if (lastLineEmpty || lines.AtEnd())
            break;
        ChannelRecord& record = list.records[static_cast<std::size_t>(i)];
        record.category = *categories.insert(CleanRecordLine(lines.Take(), list.encoding));
        record.infoText = CleanRecordLine(lines.Take(), list.encoding);
        record.number = ReadLeadingInteger(CleanRecordLine(lines.Take(), list.encoding));
        record.name = CleanRecordLine(lines.Take(), list.encoding);
        record.position = i;
        record.available = 1;
        lastLineEmpty = record.name.isEmpty();
    }
    return list;
}

void ParseChannelList(Catalogue& catalogue, const InterfaceArchive& archive)
{
    QByteArray text;
    const quint16 index = FindInterfaceEntry(QByteArrayLiteral("channels.rd"), archive);
    if (index != kNoInterfaceEntry)
        text = ReadInterfaceEntry(archive, index);
    catalogue.RadioChannelList = ChannelList();
    catalogue.RadioChannelList = ParseChannelListText(text);
}
