#include "app/ProgramVersion.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QtEndian>

namespace {

Q_LOGGING_CATEGORY(lcVersion, "wavelark.version")

constexpr qint64 kChunkSize = 1 << 20;

quint16 WordAt(const char* bytes)
{
    return qFromLittleEndian<quint16>(bytes);
}

quint32 LongAt(const char* bytes)
{
    return qFromLittleEndian<quint32>(bytes);
}

// A candidate is the record only when its check matches: the marker bytes alone also occur
// wherever code or data spells them, this reader included.
std::optional<VersionRecord> RecordAt(const char* bytes)
{
    constexpr unsigned kBodySize = kVersionRecordSize - 4;
    const auto check = VersionRecordCheck(reinterpret_cast<const unsigned char*>(bytes), kBodySize);
    if (LongAt(bytes + kBodySize) != check)
        return std::nullopt;
    const char* words = bytes + kVersionRecordMarkerSize;
    return VersionRecord{WordAt(words), WordAt(words + 2), WordAt(words + 4), WordAt(words + 6)};
}

} // namespace

std::optional<VersionRecord> ReadVersionRecord(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCInfo(lcVersion) << "cannot open the program file" << path << file.errorString();
        return std::nullopt;
    }
    static constexpr unsigned char kMarker[] = {WAVELARK_VERSION_RECORD_MARKER_BYTES};
    const QByteArrayView marker(reinterpret_cast<const char*>(kMarker), sizeof kMarker);

    // The file is scanned in chunks; the tail of each chunk that could still start a record is
    // carried into the next, so a record split across two reads is found too.
    QByteArray window;
    while (true) {
        const QByteArray chunk = file.read(kChunkSize);
        if (chunk.isEmpty())
            break;
        window += chunk;
        qsizetype from = 0;
        while (true) {
            const qsizetype hit = window.indexOf(marker, from);
            if (hit < 0 || hit + qsizetype(kVersionRecordSize) > window.size())
                break;
            if (const std::optional<VersionRecord> record = RecordAt(window.constData() + hit))
                return record;
            from = hit + 1;
        }
        window = window.right(kVersionRecordSize - 1);
    }
    return std::nullopt;
}

float ProgramVersionFromNumbers(quint16 major, quint16 minor)
{
    // The number goes through its text on purpose: "3.10" reads back as 3.1. The text is read
    // in the C locale whatever the user's locale says.
    const QByteArray text = QByteArray::number(major) + '.' + QByteArray::number(minor);
    return static_cast<float>(text.toDouble());
}

float ProgramVersionFromFile(const QString& path)
{
    const std::optional<VersionRecord> record = ReadVersionRecord(path);
    if (!record) {
        qCInfo(lcVersion) << path << "holds no version record";
        return ShellValues().ProgramVersion;
    }
    return ProgramVersionFromNumbers(record->major, record->minor);
}

ShellValues ReadProgramVersion()
{
    ShellValues values;
    values.WorkingFolder = QDir::currentPath();

    // /proc/self/exe still opens the running file when it was replaced or deleted on disk.
    QString programFile = QStringLiteral("/proc/self/exe");
    if (!QFile::exists(programFile) && QCoreApplication::instance())
        programFile = QCoreApplication::applicationFilePath();
    if (programFile.isEmpty())
        return values;
    values.ProgramVersion = ProgramVersionFromFile(programFile);
    return values;
}

QByteArray ProgramVersionText(float version)
{
    QByteArray text = QByteArray::number(static_cast<double>(version), 'f', 2);
    if (text.endsWith('0'))
        text.chop(1);
    return text;
}
