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
