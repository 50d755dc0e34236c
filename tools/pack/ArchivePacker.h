#pragma once

#include <QByteArray>
#include <optional>
#include <vector>

// One file to be stored in an interface archive.
struct PackedFile
{
    QByteArray name; // the entry name, stored as it stands
    QByteArray data;
};

// The bytes of an interface archive holding `files` as entries in the given order: header words
// 0, the directory, the offset table, then each entry's data one after the other. Nothing when
// the files do not fit the format (more than 65535 entries, or data past 4 GiB).
std::optional<QByteArray> PackInterfaceArchive(const std::vector<PackedFile>& files);
