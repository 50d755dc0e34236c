#include "radio/TrayToolTip.h"

#include "app/AnsiText.h"
#include "radio/RadioPlayback.h"
#include "radio/TrayIcon.h"

#include <QTextDocument>

QString PlainToolTipText(const QString& text)
{
    QString plain;
    plain.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\n') || c.category() != QChar::Other_Control)
            plain += c;
    }
    // The first line is the program's name, so this is only a guard should that ever change.
    // "<" becomes a look-alike, and "&" is kept from spelling an entity by an invisible space.
    if (Qt::mightBeRichText(plain)) {
        plain.replace(QLatin1Char('<'), QChar(0x2039));
        plain.replace(QLatin1Char('&'), QStringLiteral("&\u200B"));
    }
    return plain;
}

TrayToolTip::TrayToolTip(RadioPlayback& playback, TrayIcon& tray, QObject* parent)
    : QObject(parent), m_playback(playback), m_tray(tray)
{
    connect(&m_playback, &RadioPlayback::PlayingChanged, this, &TrayToolTip::Refresh);
    connect(&m_playback, &RadioPlayback::SelectedChannelChanged, this, &TrayToolTip::Refresh);
    connect(&m_playback, &RadioPlayback::StreamTitleChanged, this, &TrayToolTip::Refresh);
    connect(&m_playback, &RadioPlayback::ReconnectingChanged, this, &TrayToolTip::Refresh);
    Refresh();
}

void TrayToolTip::SetRecording(bool recording)
{
    m_recording = recording;
    Refresh();
}

void TrayToolTip::Refresh()
{
    NowPlaying state;
    state.channelName = m_playback.SelectedChannelText();
    state.streamTitle = m_playback.StreamTitle();
    state.playing = m_playback.IsPlaying() == 1;
    state.reconnecting = m_playback.IsReconnecting();
    state.lastLine = m_lastLine;
    state.recording = m_recording;
    const QString text = PlainToolTipText(TrayToolTipText(state));
    // A status-notifier host is told of every new tool tip; tell it only of real changes.
    if (text == m_text)
        return;
    m_text = text;
    m_tray.Icon().setToolTip(text);
}

void TrayToolTip::SetLastLine(const QString& line)
{
    m_lastLine = line;
    Refresh();
}
