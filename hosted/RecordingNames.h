#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <utility>

// Longest name part (a title or a channel), in UTF-8 bytes: with the date and the extension a
// file name stays under the 255 bytes file systems allow.
inline constexpr qsizetype kMaxNamePartBytes = 200;

// `text` as part of a file or folder name: without "/", NUL or control characters (they make
// a path or are refused), trimmed, cut to `maxBytes` of UTF-8 on a character boundary. A name
// that would be empty, "." or ".." becomes "_".
QString SafeNamePart(const QString& text, qsizetype maxBytes = kMaxNamePartBytes);

// "YYYY-MM-DD HH.MM.SS - <name>.<extension>" for a recording started at `start`.
QString RecordingFileName(const QDateTime& start, const QString& name, const QString& extension);

// The file type of a stream from its first bytes: "mp3", "aac", "ogg", "opus", "ts", or empty
// when it is none of these (yet: more bytes may tell).
QString StreamExtension(QByteArrayView firstBytes);

// "Artist - Title" split at the first " - " into artist and title; without one, no artist.
std::pair<QString, QString> SplitArtistAndTitle(const QString& streamTitle);
