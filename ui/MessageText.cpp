#include "ui/MessageText.h"

QByteArray BreakMessageLine(const QByteArray& text)
{
    constexpr qsizetype kLineLength = 50;
    if (text.size() <= kLineLength)
        return text;
    const qsizetype space = text.indexOf(' ', kLineLength);
    if (space < 0)
        return text;
    QByteArray broken = text;
    broken.insert(space, '\n');
    return broken;
}
