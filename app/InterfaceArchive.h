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
struct InterfaceArchive
{
    quint32 header = 0;
    quint16 entryCount = 0;
    std::vector<InterfaceEntry> entries;
    QString path; // the file the index was loaded from; ReadInterfaceEntry reads it again
};

constexpr quint16 kNoInterfaceEntry = 0xFFFF;

// Loads the index of the archive at `path`. A missing, truncated or corrupt file gives an
// empty or partial index, never a crash and never an allocation larger than the file.
InterfaceArchive LoadInterfaceArchive(const QString& path);

// Index of the first entry whose name equals `name` ignoring letter case, or kNoInterfaceEntry.
quint16 FindInterfaceEntry(const QByteArray& name, const InterfaceArchive& archive);

// The entry's data as text: at most dataSize bytes, cut at the first zero byte. An unknown
// index, an unreadable file or data past the end of the file give what could be read, or "".
QByteArray ReadInterfaceEntry(const InterfaceArchive& archive, quint16 index);
