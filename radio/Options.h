#pragma once

#include <QString>
#include <QVariant>

// The program's own options, beyond the vendor's files: "wavelark.ini" in the working folder,
// in QSettings' INI format. Read bounded and never through a symbolic link; every change
// rewrites the file whole under a temporary name that is renamed into place, keeping the keys
// it does not know.
namespace Options {

inline const QString kFileName = QStringLiteral("wavelark.ini");
// Larger files are damaged or planted: the defaults are used instead.
constexpr qint64 kMaxFileBytes = 64 * 1024;

// "Title notifications" in the tray menu; off unless turned on.
inline const QString kTitleNotifications = QStringLiteral("TitleNotifications");
// "Even loudness" in the tray menu; on unless turned off.
inline const QString kEvenLoudness = QStringLiteral("Playback/EvenLoudness");

// The value stored under `key`, or `fallback` when there is none or the file cannot be read.
QVariant Value(const QString& key, const QVariant& fallback, const QString& file = kFileName);
// Stores `value` under `key`; false, leaving the file as it was, when it cannot be written.
bool SetValue(const QString& key, const QVariant& value, const QString& file = kFileName);

bool EvenLoudness(const QString& file = kFileName);
bool SetEvenLoudness(bool on, const QString& file = kFileName);

} // namespace Options
