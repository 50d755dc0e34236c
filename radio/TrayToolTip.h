#pragma once

#include "radio/NowPlaying.h"

#include <QObject>

class RadioPlayback;
class TrayIcon;

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
