#pragma once

#include <QByteArray>
#include <QString>

// Catalogue texts and the program's files are 8-bit Windows-1252 text. They stay bytes
// everywhere and are decoded only where a widget shows them.
QString DecodeAnsi(const QByteArray& bytes);

// The reverse of DecodeAnsi for text a widget hands back: every character Windows-1252 has
// becomes its byte; any other character (and U+FFFD, which stands for several bytes) becomes
// '?', one per character.
QByteArray EncodeAnsi(const QString& text);

// How a catalogue's texts are encoded. Catalogues are Windows-1252 unless their text begins with
// a UTF-8 byte-order mark; the names they give are stored in the program's files in the same
// encoding, so they round-trip byte for byte.
enum class TextEncoding { Windows1252, Utf8 };

// The byte-order mark that makes a catalogue UTF-8. A catalogue text starting with it could
// never be read before (its count line reads as 0), so no older catalogue is taken for one.
inline constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

// DecodeAnsi, or UTF-8 decoding (an invalid sequence becomes U+FFFD).
QString DecodeText(TextEncoding encoding, const QByteArray& bytes);
// EncodeAnsi, or UTF-8 encoding.
QByteArray EncodeText(TextEncoding encoding, const QString& text);
