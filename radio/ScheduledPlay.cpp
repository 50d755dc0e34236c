#include "radio/ScheduledPlay.h"

#include "hosted/MediaPlayer.h"
#include "radio/RadioPlayback.h"
#include "radio/SettingsFile.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSchedule, "wavelark.schedule")

ScheduledPlay::ScheduledPlay(RadioPlayback& playback, WallClock clock, QObject* parent)
    : QObject(parent), m_playback(playback), m_clock(clock), m_sleep(clock), m_playtime(clock),
      m_fadeOut(clock, [this](int level) { SetPlayerLevel(level); }),
      m_fadeIn(clock, [this](int level) { SetPlayerLevel(level); }), m_wake(playback, clock)
{
    connect(&m_wake, &WakeChime::ToolTipLineChanged, this, &ScheduledPlay::UpdateToolTipLine);
    connect(&m_sleep, &SleepTimer::TimeUp, this, [this](qint64 lateMs) {
        qCInfo(lcSchedule) << "sleep timer is up" << lateMs / 1000 << "s late: fading out";
        FadeOutThenStop(lateMs);
    });
    connect(&m_sleep, &SleepTimer::ToolTipLineChanged, this, &ScheduledPlay::UpdateToolTipLine);
    connect(&m_playtime, &PlaytimeSchedule::ToolTipLineChanged, this,
            &ScheduledPlay::UpdateToolTipLine);
    connect(&m_playtime, &PlaytimeSchedule::WindowBegan, this, &ScheduledPlay::StartPlaytime);
    connect(&m_playtime, &PlaytimeSchedule::WindowEnded, this, [this](qint64 lateMs) {
        FadeOutThenStop(lateMs);
    });
    connect(&m_fadeOut, &VolumeFade::Finished, this, &ScheduledPlay::StopAfterFade);
    // The user's own Stop, or a volume the user chose, ends a fade under way: what the user
    // did last wins.
    connect(&m_playback, &RadioPlayback::PlayingChanged, this, [this](int isPlaying) {
        if (isPlaying != 1 && (m_fadeOut.IsRunning() || m_fadeIn.IsRunning())) {
            m_fadeOut.Cancel();
            m_fadeIn.Cancel();
            RestorePlayerVolume();
        }
    });
    connect(&m_playback, &RadioPlayback::VolumeChanged, this, [this] {
        m_fadeOut.Cancel();
        m_fadeIn.Cancel();
    });
}

ScheduledPlay::~ScheduledPlay()
{
    // Exit during a fade: the player goes with the program, but nothing may call back.
    m_fadeOut.Cancel();
    m_fadeIn.Cancel();
    m_wake.End();
}

QString ScheduledPlay::ToolTipLine() const
{
    return m_toolTipLine;
}

void ScheduledPlay::UpdateToolTipLine()
{
    QString line = m_wake.ToolTipLine();
    if (line.isEmpty())
        line = m_sleep.ToolTipLine();
    if (line.isEmpty())
        line = m_playtime.ToolTipLine();
    if (line == m_toolTipLine)
        return;
    m_toolTipLine = line;
    Q_EMIT ToolTipLineChanged(line);
}

void ScheduledPlay::ApplySettings(const SettingsValues& values, bool announce)
{
    m_playtime.Apply(values, announce);
}

void ScheduledPlay::StartPlaytime(qint64 lateMs)
{
    // Playing already (by hand, or a play time straight after another): nothing to start.
    if (m_playback.IsPlaying() == 1 || m_playback.IsShutDown())
        return;
    m_fadeOut.Cancel();
    m_fadeIn.Start(0, m_playback.Volume(), lateMs);
    if (m_playStartChannel)
        m_playStartChannel();
    m_wake.Watch();
}

void ScheduledPlay::FadeOutThenStop(qint64 lateMs)
{
    // From where the sound is now, also in the middle of another fade.
    int from = m_playback.Volume();
    if (m_fadeIn.IsRunning())
        from = m_fadeIn.Level();
    else if (m_fadeOut.IsRunning())
        from = m_fadeOut.Level();
    m_fadeIn.Cancel();
    // The wake-up chime is silenced too: the time to listen is over.
    m_wake.End();
    if (m_playback.IsPlaying() != 1) {
        RestorePlayerVolume();
        return;
    }
    m_fadeOut.Start(from, 0, lateMs);
}

void ScheduledPlay::StopAfterFade()
{
    if (m_playback.IsPlaying() == 1)
        m_playback.StopOrResume();
    RestorePlayerVolume();
}

void ScheduledPlay::RestorePlayerVolume()
{
    SetPlayerLevel(m_playback.Volume());
}

void ScheduledPlay::SetPlayerLevel(int level)
{
    if (MediaPlayer* player = m_playback.Player())
        player->put_volume(level);
}
