#pragma once

#include <QByteArray>
#include <QString>

// Writes `bytes` as the whole content of `path`: into a temporary file in the same folder that
// is renamed into place once complete, so a crash or a full disk never leaves half a file.
// Returns false, leaving any previous file untouched, when the file cannot be written. A
// symbolic link at `path` is replaced by the new file, never written through.
//
// With `syncToDisk` false the data is not forced to disk before the rename: for a writer of
// many files that syncs the whole file system once at the end (a content tree of 50,000 files).
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, bool syncToDisk = true);
