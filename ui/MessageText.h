#pragma once

#include <QByteArray>

// Breaks a message of more than 50 characters once: a line feed goes in at the first space
// whose index is 50 or more, so the second line starts with that space. Shorter texts, and
// texts without such a space, stay on one line.
QByteArray BreakMessageLine(const QByteArray& text);
