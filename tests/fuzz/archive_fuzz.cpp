// Feeds arbitrary bytes to the archive reader as a file, then finds and reads every entry.
// Besides crashes it stops on broken promises of the reader: an index bigger than the file
// could hold, a lookup that misses a loaded name, a text longer than its entry or the file.
#include "FuzzCheck.h"
#include "app/InterfaceArchive.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

QString& InputPath()
{
    static QString path;
    return path;
}

void RemoveInput()
{
    QFile::remove(InputPath());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Damaged archives are the normal case here; their warnings would only slow the run.
    QLoggingCategory::setFilterRules(QStringLiteral("wavelark.*=false"));
    // A memory-backed folder keeps the file writes of every run off the disk.
    const QString folder =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    InputPath() = folder + QStringLiteral("/wavelark-archive-fuzz-%1.int").arg(getpid());
    std::atexit(RemoveInput);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        QFile file(InputPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const InterfaceArchive archive = LoadInterfaceArchive(InputPath());
    Require(archive.entryCount == archive.entries.size());
    Require(archive.entries.size() * 12 <= size); // every entry takes at least 12 bytes

    for (size_t i = 0; i < archive.entries.size(); ++i) {
        const InterfaceEntry& entry = archive.entries[i];
        Require(qsizetype(entry.name.size()) <= qsizetype(entry.nameLength));
        Require(!entry.name.contains('\0'));
        const quint16 found = FindInterfaceEntry(entry.name, archive);
        Require(found <= i);
        Require(archive.entries[found].name.size() == entry.name.size());
        const QByteArray text = ReadInterfaceEntry(archive, quint16(i));
        Require(quint64(text.size()) <= entry.dataSize);
        Require(size_t(text.size()) <= size);
        Require(!text.contains('\0'));
    }
    // A name taken from the input itself, and the "no entry" index.
    const QByteArray wanted(reinterpret_cast<const char*>(data),
                            qsizetype(std::min<size_t>(size, 16)));
    const quint16 found = FindInterfaceEntry(wanted, archive);
    Require(found == kNoInterfaceEntry || found < archive.entries.size());
    Require(ReadInterfaceEntry(archive, kNoInterfaceEntry).isEmpty());
    return 0;
}
