#include "app/InterfaceArchive.h"

#include <QFile>
#include <QLoggingCategory>
#include <QtEndian>
#include <algorithm>
#include <optional>

namespace {

Q_LOGGING_CATEGORY(lcArchive, "wavelark.archive")

// The smallest file space one entry can take: nameLength, dataSize and its offset.
constexpr qint64 kSmallestEntryBytes = 12;

// Reads little-endian fields from an open file and knows how much of it is left, so no length
// taken from the file is trusted before it has been checked against the bytes that remain.
class ArchiveReader
{
public:
    explicit ArchiveReader(QFile& file) : m_file(file), m_remaining(file.size()) {}

    qint64 Remaining() const { return m_remaining; }

    std::optional<quint16> ReadU16()
    {
        unsigned char bytes[2];
        if (!ReadExactly(bytes, sizeof bytes))
            return std::nullopt;
        return qFromLittleEndian<quint16>(bytes);
    }

    std::optional<quint32> ReadU32()
    {
        unsigned char bytes[4];
        if (!ReadExactly(bytes, sizeof bytes))
            return std::nullopt;
        return qFromLittleEndian<quint32>(bytes);
    }

    std::optional<QByteArray> ReadBytes(quint32 length)
    {
        if (length > m_remaining)
            return std::nullopt;
        QByteArray bytes(static_cast<qsizetype>(length), Qt::Uninitialized);
        if (!ReadExactly(bytes.data(), length))
            return std::nullopt;
        return bytes;
    }

private:
    bool ReadExactly(void* target, qint64 length)
    {
        if (length > m_remaining)
            return false;
        if (m_file.read(static_cast<char*>(target), length) != length) {
            m_remaining = 0;
            return false;
        }
        m_remaining -= length;
        return true;
    }

    QFile& m_file;
    qint64 m_remaining;
};

QByteArray CutAtZero(QByteArray bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return bytes;
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

} // namespace

InterfaceArchive LoadInterfaceArchive(const QString& path)
{
    InterfaceArchive archive;
    archive.path = path;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcArchive) << "cannot open" << path << file.errorString();
        return archive;
    }
    ArchiveReader reader(file);

    const std::optional<quint16> low = reader.ReadU16();
    const std::optional<quint16> high = reader.ReadU16();
    const std::optional<quint16> announced = reader.ReadU16();
    if (!low || !high || !announced) {
        qCWarning(lcArchive) << path << "ends inside its header";
        return archive;
    }
    archive.header = static_cast<quint32>(*low) | (static_cast<quint32>(*high) << 16);

    // Reserve only what the file can hold, whatever count it announces.
    archive.entries.reserve(static_cast<size_t>(
        std::min<qint64>(*announced, reader.Remaining() / kSmallestEntryBytes)));
    for (quint16 i = 0; i < *announced; ++i) {
        InterfaceEntry entry;
        const std::optional<quint32> nameLength = reader.ReadU32();
        if (!nameLength)
            break;
        const std::optional<QByteArray> name = reader.ReadBytes(*nameLength);
        if (!name)
            break;
        const std::optional<quint32> dataSize = reader.ReadU32();
        if (!dataSize)
            break;
        entry.nameLength = *nameLength;
        entry.name = CutAtZero(*name);
        entry.dataSize = *dataSize;
        archive.entries.push_back(std::move(entry));
    }

    if (archive.entries.size() < *announced) {
        // Without the whole directory the offset table cannot be located: nothing is usable.
        qCWarning(lcArchive) << path << "announces" << *announced << "entries but its directory"
                             << "breaks off after" << archive.entries.size();
        archive.entries.clear();
        return archive;
    }

    for (size_t i = 0; i < archive.entries.size(); ++i) {
        const std::optional<quint32> offset = reader.ReadU32();
        if (!offset) {
            qCWarning(lcArchive) << path << "ends inside its offset table after" << i << "of"
                                 << archive.entries.size() << "entries";
            archive.entries.resize(i);
            break;
        }
        archive.entries[i].dataOffset = *offset;
    }
    archive.entryCount = static_cast<quint16>(archive.entries.size());
    return archive;
}

quint16 FindInterfaceEntry(const QByteArray& name, const InterfaceArchive& archive)
{
    const QByteArray wanted = CutAtZero(name);
    const size_t count = std::min<size_t>(archive.entries.size(), kNoInterfaceEntry);
    for (size_t i = 0; i < count; ++i) {
        if (EqualIgnoringCase(archive.entries[i].name, wanted))
            return static_cast<quint16>(i);
    }
    return kNoInterfaceEntry;
}

QByteArray ReadInterfaceEntry(const InterfaceArchive& archive, quint16 index)
{
    if (index >= archive.entries.size())
        return {};
    const InterfaceEntry& entry = archive.entries[index];

    QFile file(archive.path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcArchive) << "cannot open" << archive.path << file.errorString();
        return {};
    }
    // The file is measured again: it may have changed since the index was loaded.
    const qint64 fileSize = file.size();
    if (entry.dataOffset >= fileSize) {
        if (entry.dataSize > 0)
            qCWarning(lcArchive) << archive.path << "entry" << entry.name << "starts at"
                                 << entry.dataOffset << "past the end of the file";
        return {};
    }
    const qint64 available = fileSize - entry.dataOffset;
    if (entry.dataSize > available)
        qCWarning(lcArchive) << archive.path << "entry" << entry.name << "claims" << entry.dataSize
                             << "bytes but the file holds" << available;
    if (!file.seek(entry.dataOffset))
        return {};
    return CutAtZero(file.read(std::min<qint64>(entry.dataSize, available)));
}
