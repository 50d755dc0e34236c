#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

class RadioPlayback;

// The program on the desktop bus as an MPRIS media player, so that panels, sound menus and media
// keys can see and steer what plays. It publishes org.mpris.MediaPlayer2.wavelark at
// /org/mpris/MediaPlayer2 with the root and player interfaces (MprisRoot, MprisPlayer) and says
// what changed through org.freedesktop.DBus.Properties.PropertiesChanged, once per real change.
//
// Radio cannot pause: Pause and Stop both stop, Play and PlayPause resume the selected channel
// as "Stop/Resume" does, Next is the tray's "Random Channel". The volume is the slider's 0..100
// as 0.0..1.0: level = round(100 * volume), volume = min(level, 100) / 100; the player applies
// the same cubic curve to it as to the slider.
class Mpris : public QObject
{
    Q_OBJECT

public:
    static constexpr char kServiceName[] = "org.mpris.MediaPlayer2.wavelark";
    static constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";
    static constexpr char kRootInterface[] = "org.mpris.MediaPlayer2";
    static constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
    // The track id while no channel is selected, as MPRIS names it.
    static constexpr char kNoTrack[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

    // What Raise and Quit do; the owner decides (they open the radio window and exit).
    struct Actions
    {
        std::function<void()> raise;
        std::function<void()> quit;
    };

    Mpris(RadioPlayback& playback, Actions actions, QObject* parent = nullptr);
    ~Mpris() override;

    // Exports the object on `bus` and takes the service name. The name is never taken over from
    // another owner and never queued for. False, with one log line, when there is no bus or
    // the name is not free; the program then runs without it.
    bool Publish(const QDBusConnection& bus);
    bool IsPublished() const { return m_published; }

    // Root interface.
    void Raise();
    void Quit();

    // Player interface.
    QString PlaybackStatus() const;
    QVariantMap Metadata() const;
    double Volume() const;
    void SetVolume(double volume);
    bool CanPlay() const;
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();

    // The track id of a channel: one object path per channel name.
    static QString TrackIdFor(const QByteArray& channelName);
    // The 0..100 level for an MPRIS volume, and back.
    static int LevelForVolume(double volume);
    static double VolumeForLevel(int level);

private:
    // The player properties that change while the program runs.
    struct PlayerState
    {
        QString playbackStatus;
        QVariantMap metadata;
        int volumeLevel = 0;
        bool canPlay = false;
    };
    PlayerState CurrentState() const;
    // Compares with what the bus was last told and sends what differs, if anything.
    void AnnounceChanges();
    // Runs `action` from the event loop, after the bus call has been answered: it may fetch a
    // stream address or open a modal window, and the caller must not wait for that.
    void Later(std::function<void()> action);

    RadioPlayback& m_playback;
    Actions m_actions;
    QDBusConnection m_bus;
    bool m_published = false;
    PlayerState m_announced;
};
