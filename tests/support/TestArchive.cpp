#include "support/TestArchive.h"

#include <QtEndian>

QByteArray Le16(quint16 value)
{
    QByteArray bytes(2, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray Le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray ArchiveBytes(const std::vector<ArchiveEntry>& entries, quint16 word0, quint16 word1)
{
    QByteArray directory;
    for (const ArchiveEntry& entry : entries)
        directory +=
            Le32(quint32(entry.name.size())) + entry.name + Le32(quint32(entry.data.size()));
    quint32 offset = quint32(6 + directory.size() + 4 * entries.size());
    QByteArray table;
    QByteArray data;
    for (const ArchiveEntry& entry : entries) {
        table += Le32(offset);
        offset += quint32(entry.data.size());
        data += entry.data;
    }
    return Le16(word0) + Le16(word1) + Le16(quint16(entries.size())) + directory + table + data;
}

QByteArray ArchiveWithCatalogue(const QByteArray& catalogue)
{
    return ArchiveBytes({{QByteArrayLiteral("channels.rd"), catalogue}});
}
