#include "radio/WakeChime.h"

#include "hosted/ChimePlayer.h"
#include "hosted/MediaPlayer.h"
#include "radio/RadioPlayback.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcWake, "wavelark.wake")

WakeChime::WakeChime(RadioPlayback& playback, WallClock clock, QObject* parent)
    : QObject(parent), m_playback(playback), m_clock(clock), m_rise(clock, [this](int level) {
          if (m_chime)
              m_chime->SetLevel(level);
      })
{
    m_timer.setInterval(kLookInterval);
    connect(&m_timer, &QTimer::timeout, this, &WakeChime::Tick);
}

WakeChime::~WakeChime()
{
    m_rise.Cancel();
}

bool WakeChime::IsChiming() const
{
    return m_chime && m_chime->IsPlaying();
}

void WakeChime::Watch()
{
    if (MediaPlayer* player = m_playback.Player()) {
        connect(player, &MediaPlayer::FirstAudio, this, &WakeChime::OnChannelHeard,
                Qt::UniqueConnection);
        connect(
            player, &MediaPlayer::PlaybackError, this,
            [this](const QString& message) {
                if (m_watching)
                    StartChime(QStringLiteral("the stream failed: ") + message);
            },
            Qt::UniqueConnection);
    }
    m_watching = true;
    m_deadline = m_clock().addSecs(kWatchTime.count());
    m_timer.start();
}

bool WakeChime::End()
{
    m_watching = false;
    m_timer.stop();
    m_rise.Cancel();
    const bool wasChiming = IsChiming();
    if (m_chime)
        m_chime->Stop();
    SetToolTipLine(QString());
    return wasChiming;
}

void WakeChime::Tick()
{
    if (!m_watching)
        return;
    if (m_clock() >= m_deadline)
        StartChime(QStringLiteral("no audio within %1 s").arg(kWatchTime.count()));
}

void WakeChime::OnChannelHeard()
{
    if (!m_watching && !IsChiming())
        return;
    m_watching = false;
    m_timer.stop();
    if (IsChiming())
        qCInfo(lcWake) << "a channel plays: the chime ends";
    m_rise.Cancel();
    if (m_chime)
        m_chime->Stop();
    SetToolTipLine(QString());
}

void WakeChime::StartChime(const QString& reason)
{
    m_watching = false;
    m_timer.stop();
    const QString channel = m_playback.SelectedChannelText();
    qCWarning(lcWake).noquote() << "the wake-up channel" << channel
                                << "could not be played:" << reason << "- chiming instead";
    if (!m_chime)
        m_chime = ChimePlayer::Create();
    if (!m_chime || !m_chime->Play()) {
        qCWarning(lcWake) << "no chime could be played either";
        return;
    }
    m_rise.Start(0, m_playback.Volume());
    SetToolTipLine(channel.isEmpty()
                       ? QStringLiteral("Wake-up chime: no channel could be played")
                       : QStringLiteral("Wake-up chime: %1 could not be played").arg(channel));
}

void WakeChime::SetToolTipLine(const QString& line)
{
    if (line == m_toolTipLine)
        return;
    m_toolTipLine = line;
    Q_EMIT ToolTipLineChanged(line);
}
