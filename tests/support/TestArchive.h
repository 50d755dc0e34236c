#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <vector>

// Interface archives laid out by hand for the tests, independent of the packer they check.

// A little-endian 16- or 32-bit field.
QByteArray Le16(quint16 value);
QByteArray Le32(quint32 value);

struct ArchiveEntry
{
    QByteArray name;
    QByteArray data;
};

// Header words, entry count, the directory (name length, name, data size per entry), the offset
// table, then each entry's data in order right after the table.
QByteArray ArchiveBytes(const std::vector<ArchiveEntry>& entries, quint16 word0 = 0,
                        quint16 word1 = 0);

// An archive holding one entry, "channels.rd", with `catalogue` as its data.
QByteArray ArchiveWithCatalogue(const QByteArray& catalogue);
