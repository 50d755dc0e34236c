#pragma once

#include "radio/NowPlaying.h"

#include <QObject>

class RadioPlayback;
class TrayIcon;

// `text` made safe to hand to the tray as its tool tip, whatever a channel name or a stream
// title holds. The tool tip is plain text on every path: Qt's own tool tip window (XEmbed trays)
// and status-notifier hosts, which show it as the item's title, take a text for rich text when
// Qt::mightBeRichText says it looks like markup, and a channel's markup must never be rendered
// (an <img> would load a file). Control characters are dropped, line breaks kept; a text that
// would still pass for markup has its "<" replaced by a look-alike ("‹") and an invisible space
// after each "&".
QString PlainToolTipText(const QString& text);

// Keeps the tray icon's tool tip on what plays (see TrayToolTipText): follows the playback's
// channel, state, stream title and reconnecting.
class TrayToolTip : public QObject
{
    Q_OBJECT

public:
    TrayToolTip(RadioPlayback& playback, TrayIcon& tray, QObject* parent = nullptr);

    // Whether the tool tip ends in "Recording".
    void SetRecording(bool recording);

    // The text the tool tip shows now.
    const QString& Text() const { return m_text; }
    // The line below everything else: a timer or schedule in force; empty for none.
    void SetLastLine(const QString& line);

private:
    void Refresh();

    RadioPlayback& m_playback;
    TrayIcon& m_tray;
    QString m_text;
    QString m_lastLine;
    bool m_recording = false;
};
