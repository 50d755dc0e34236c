#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// What ReadRegularFile read: at most the limit's bytes, and whether the file had more.
struct BoundedBytes
{
    QByteArray bytes;
    bool cut = false;
};

// Up to `limit` bytes of the regular file at `path`. Nothing when it is missing, cannot be
// read, is not a regular file (a pipe or a device could be read without end) or is a symbolic
// link: a link planted in the working folder must not make the program read a file elsewhere.
// Failures other than a missing file are logged.
std::optional<BoundedBytes> ReadRegularFile(const QString& path, qint64 limit);
