#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <vector>

// One directory entry of the interface archive.
struct InterfaceEntry
{
    quint32 dataSize = 0;
    quint32 nameLength = 0;
    quint32 dataOffset = 0;
    QByteArray name; // cut at the first zero byte
};

// The loaded index of an interface archive ("Interface/radio.int"): names, sizes and offsets
// only; entry data is read from the file on every request.
//
// File layout, all integers little-endian:
//   u16 u16 header | u16 entryCount | entryCount x {u32 nameLength, name, u32 dataSize}
//   | entryCount x u32 dataOffset | data anywhere after that
struct InterfaceArchive
{
    quint32 header = 0;
    // The number of entries actually loaded, which is entries.size(): a damaged file may
    // announce more than it holds.
    quint16 entryCount = 0;
    std::vector<InterfaceEntry> entries;
    QString path; // the file the index was loaded from; ReadInterfaceEntry reads it again
};

constexpr quint16 kNoInterfaceEntry = 0xFFFF;

// Loads the index of the archive at `path`. A missing, truncated or corrupt file gives an
// empty or partial index, never a crash and never an allocation larger than the file: only
// entries whose directory record AND data offset were read completely are kept, so a file that
// ends inside the directory loads no entries at all, and one that ends inside the offset table
// keeps the leading entries whose offsets are present.
InterfaceArchive LoadInterfaceArchive(const QString& path);

// Index of the first entry whose name equals `name` ignoring ASCII letter case, or
// kNoInterfaceEntry. `name` is compared up to its first zero byte, like the stored names.
quint16 FindInterfaceEntry(const QByteArray& name, const InterfaceArchive& archive);

// The entry's data as text: at most dataSize bytes, cut at the first zero byte. An unknown
// index (kNoInterfaceEntry included), an unreadable file or an offset past the end of the file
// give ""; data running past the end of the file gives the part the file holds.
QByteArray ReadInterfaceEntry(const InterfaceArchive& archive, quint16 index);
