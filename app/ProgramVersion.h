#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

// The program file's version record, written by the build from the project version (see
// cmake/VersionRecord.cpp.in) and linked into the program only:
//
//   8 bytes  marker "WLVREC" 0xFE 0xED
//   4 x u16  major, minor, patch, build (little-endian)
//   u32      check: VersionRecordCheck over the 16 bytes before it (little-endian)
//
// The check lets the reader tell the real record from any other copy of the marker bytes in
// the file, such as the reader's own code.
#define WAVELARK_VERSION_RECORD_MARKER_BYTES 'W', 'L', 'V', 'R', 'E', 'C', 0xFE, 0xED

constexpr unsigned kVersionRecordMarkerSize = 8;
constexpr unsigned kVersionRecordSize = kVersionRecordMarkerSize + 4 * 2 + 4;

// FNV-1a over the marker and the four version words as they are stored.
constexpr unsigned long VersionRecordCheck(const unsigned char* bytes, unsigned count)
{
    unsigned long hash = 2166136261ul;
    for (unsigned i = 0; i < count; ++i)
        hash = ((hash ^ bytes[i]) * 16777619ul) & 0xFFFFFFFFul;
    return hash;
}

// The four words of a version record.
struct VersionRecord
{
    quint16 major = 0;
    quint16 minor = 0;
    quint16 patch = 0;
    quint16 build = 0;
};

// The process-wide values the shell fills once at start-up.
struct ShellValues
{
    QString WorkingFolder;       // the current directory at start-up, as QDir reports it
    float ProgramVersion = 1.1f; // major.minor of the program file; 1.1 without a record
};

// The first valid version record in the file at `path`, or nothing.
std::optional<VersionRecord> ReadVersionRecord(const QString& path);

// Formats major and minor with "%d.%d" and reads that text back as a decimal number, so a minor
// part of 10 gives the same number as a minor part of 1.
float ProgramVersionFromNumbers(quint16 major, quint16 minor);

// The version number of the program file at `path`; 1.1 when it holds no version record.
float ProgramVersionFromFile(const QString& path);

// WorkingFolder and ProgramVersion of the running program, read from its own file.
ShellValues ReadProgramVersion();

// The version as the user agent and the about dialog show it: 3.0 gives "3.0", 3.1 gives "3.1".
QByteArray ProgramVersionText(float version);
