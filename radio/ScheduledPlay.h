#pragma once

#include "radio/PlaytimeSchedule.h"
#include "radio/SleepTimer.h"
#include "radio/VolumeFade.h"
#include "radio/WakeChime.h"
#include "radio/WallClock.h"

#include <QObject>
#include <QString>
#include <functional>

class RadioPlayback;
struct SettingsValues;

// Playback that follows the clock: the sleep timer's fade and stop, and the daily play time
// (fade in at its start, fade out and stop at its end). It drives the playback as the tray does
// and fades through the player's own level, so the volume the user set stays what the slider,
// "setting.dat" and the next Resume use. The user may play or stop at any time; the next
// boundary applies again.
class ScheduledPlay : public QObject
{
    Q_OBJECT

public:
    ScheduledPlay(RadioPlayback& playback, WallClock clock = SystemWallClock,
                  QObject* parent = nullptr);
    ~ScheduledPlay() override;

    SleepTimer& Sleep() { return m_sleep; }
    PlaytimeSchedule& Playtime() { return m_playtime; }
    VolumeFade& FadeOut() { return m_fadeOut; }
    VolumeFade& FadeIn() { return m_fadeIn; }
    WakeChime& Wake() { return m_wake; }

    // How a play time starts the channel: the start-up choice's channel, saved or random.
    void SetStartChannelPlay(std::function<void()> play) { m_playStartChannel = std::move(play); }
    // Takes the daily play time from the settings: at start-up (`announce` false) and after
    // the radio window's Hide wrote them (`announce` true: a new play time that holds the
    // present starts now).
    void ApplySettings(const SettingsValues& values, bool announce);
    // The user's Stop while the wake-up chime plays ends the chime; true when it did.
    bool StopWakeChime() { return m_wake.End(); }
    // A start outside the play time stays silent.
    bool StartsSilent() const { return m_playtime.IsSet() && !m_playtime.InWindowNow(); }

    // The tray tool tip's last line: why the wake-up chime plays, else the sleep timer while it
    // runs, else the play time while one is set, else empty.
    QString ToolTipLine() const;

Q_SIGNALS:
    // ToolTipLine() changed.
    void ToolTipLineChanged(const QString& line);

private:
    // Fades what plays to silence, `lateMs` of the fade already gone, then stops it as
    // Stop/Resume does.
    void FadeOutThenStop(qint64 lateMs);
    void StopAfterFade();
    // A play time began: the start channel plays, rising from silence.
    void StartPlaytime(qint64 lateMs);
    // Gives the player the user's volume again after a fade.
    void RestorePlayerVolume();
    void SetPlayerLevel(int level);
    void UpdateToolTipLine();

    RadioPlayback& m_playback;
    WallClock m_clock;
    SleepTimer m_sleep;
    PlaytimeSchedule m_playtime;
    VolumeFade m_fadeOut;
    VolumeFade m_fadeIn;
    WakeChime m_wake;
    std::function<void()> m_playStartChannel;
    QString m_toolTipLine;
};
