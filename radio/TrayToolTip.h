#pragma once

#include "radio/NowPlaying.h"

#include <QObject>

class RadioPlayback;
class TrayIcon;

// Keeps the tray icon's tool tip on what plays (see TrayToolTipText): follows the playback's
// channel, state and stream title, and the reconnecting state it is told about.
class TrayToolTip : public QObject
{
    Q_OBJECT

public:
    TrayToolTip(RadioPlayback& playback, TrayIcon& tray, QObject* parent = nullptr);

    // The text the tool tip shows now.
    const QString& Text() const { return m_text; }

public Q_SLOTS:
    // Connected to the playback's ReconnectingChanged where the player reconnects by itself.
    void SetReconnecting(bool reconnecting);

private:
    void Refresh();

    RadioPlayback& m_playback;
    TrayIcon& m_tray;
    bool m_reconnecting = false;
    QString m_text;
};
