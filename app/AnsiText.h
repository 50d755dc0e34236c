#pragma once

#include <QByteArray>
#include <QString>

// Catalogue texts and the program's files are 8-bit Windows-1252 text. They stay bytes
// everywhere and are decoded only where a widget shows them.
QString DecodeAnsi(const QByteArray& bytes);
