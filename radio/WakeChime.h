#pragma once

#include "radio/VolumeFade.h"
#include "radio/WallClock.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>

class ChimePlayer;
class RadioPlayback;

// A wake-up that never stays silent: once a play time has asked its channel to play, the
// channel has kWatchTime to be heard. When its stream file cannot be fetched, its stream fails
// or sends no audio by then, a gentle chime the program makes itself plays instead, rising from
// silence to the user's volume, until the play time ends, the user stops, or a channel plays.
class WakeChime : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds kWatchTime{30};
    static constexpr std::chrono::seconds kLookInterval{1};

    WakeChime(RadioPlayback& playback, WallClock clock = SystemWallClock,
              QObject* parent = nullptr);
    ~WakeChime() override;

    // The play time's channel was just asked to play: watch whether it is heard.
    void Watch();
    // The play time ended or the user stopped: no more watching, no chime. True when a chime
    // was playing.
    bool End();
    bool IsWatching() const { return m_watching; }
    bool IsChiming() const;
    VolumeFade& Rise() { return m_rise; }
    // While the chime plays: why, for the tray tool tip; else empty.
    QString ToolTipLine() const { return m_toolTipLine; }

    // Looks at the clock: the timer calls it, tests call it after moving their clock.
    void Tick();

Q_SIGNALS:
    // ToolTipLine() changed.
    void ToolTipLineChanged(const QString& line);

private:
    void StartChime(const QString& reason);
    void OnChannelHeard();
    void SetToolTipLine(const QString& line);

    RadioPlayback& m_playback;
    WallClock m_clock;
    QTimer m_timer;
    bool m_watching = false;
    QDateTime m_deadline;
    std::unique_ptr<ChimePlayer> m_chime;
    VolumeFade m_rise;
    QString m_toolTipLine;
};
