#include "radio/NowPlaying.h"

#include <algorithm>

QString CleanStreamTitle(const QString& title)
{
    QString text;
    text.reserve(std::min<qsizetype>(title.size(), kMaxStreamTitleLength + 1));
    bool spaceBefore = false;
    for (const QChar c : title) {
        if (c.isSpace()) {
            // Tabs and line breaks too: one space between words, none at either end.
            spaceBefore = !text.isEmpty();
            continue;
        }
        if (c.category() == QChar::Other_Control)
            continue;
        if (spaceBefore)
            text.append(QLatin1Char(' '));
        spaceBefore = false;
        text.append(c);
        // Whatever follows would be cut anyway.
        if (text.size() > kMaxStreamTitleLength)
            break;
    }
    if (text.size() <= kMaxStreamTitleLength)
        return text;
    qsizetype cut = kMaxStreamTitleLength - 3;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut).trimmed() + QStringLiteral("...");
}

QString TrayToolTipText(const NowPlaying& state)
{
    QString text = QStringLiteral("Wavelark");
    if (!state.channelName.isEmpty()) {
        text += QLatin1Char('\n') + state.channelName;
        if (state.reconnecting)
            text += QStringLiteral("\nreconnecting");
        else if (!state.playing)
            text += QStringLiteral("\nstopped");
        else if (!state.streamTitle.isEmpty())
            text += QLatin1Char('\n') + state.streamTitle;
        if (state.recording)
            text += QStringLiteral("\nRecording");
    }
    if (!state.lastLine.isEmpty())
        text += QLatin1Char('\n') + state.lastLine;
    return text;
}
