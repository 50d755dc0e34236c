#include "tools/pack/ArchivePacker.h"

#include <QtEndian>
#include <limits>

namespace {

void AppendU16(QByteArray& out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof bytes);
}

void AppendU32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof bytes);
}

} // namespace

std::optional<QByteArray> PackInterfaceArchive(const std::vector<PackedFile>& files)
{
    if (files.size() > 0xFFFF)
        return std::nullopt;

    QByteArray directory;
    quint64 tableEnd = 2 + 2 + 2;
    for (const PackedFile& file : files) {
        if (quint64(file.name.size()) > std::numeric_limits<quint32>::max() ||
            quint64(file.data.size()) > std::numeric_limits<quint32>::max())
            return std::nullopt;
        AppendU32(directory, static_cast<quint32>(file.name.size()));
        directory.append(file.name);
        AppendU32(directory, static_cast<quint32>(file.data.size()));
        tableEnd += 4 + quint64(file.name.size()) + 4 + 4;
    }

    QByteArray out;
    AppendU16(out, 0);
    AppendU16(out, 0);
    AppendU16(out, static_cast<quint16>(files.size()));
    out.append(directory);
    quint64 offset = tableEnd;
    for (const PackedFile& file : files) {
        if (offset > std::numeric_limits<quint32>::max())
            return std::nullopt;
        AppendU32(out, static_cast<quint32>(offset));
        offset += quint64(file.data.size());
    }
    for (const PackedFile& file : files)
        out.append(file.data);
    return out;
}
