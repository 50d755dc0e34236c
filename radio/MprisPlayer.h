#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QVariantMap>

class Mpris;

// org.mpris.MediaPlayer2.Player: what plays and the transport controls, for a live radio that
// can only play or stop, never seek, and steps to a random channel (see Mpris).
class MprisPlayer : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)

public:
    explicit MprisPlayer(Mpris* owner);

    QString PlaybackStatus() const;
    // A live stream plays at its own pace only.
    double Rate() const { return 1.0; }
    void SetRate([[maybe_unused]] double rate) {}
    QVariantMap Metadata() const;
    double Volume() const;
    void SetVolume(double volume);
    qlonglong Position() const { return 0; }
    bool CanGoNext() const { return true; }
    bool CanGoPrevious() const { return false; }
    bool CanPlay() const;
    // Pause stops: a live stream cannot be held and continued later.
    bool CanPause() const { return true; }
    bool CanSeek() const { return false; }
    bool CanControl() const { return true; }

public Q_SLOTS:
    void Next();
    // There is no channel before this one: nothing happens.
    void Previous() {}
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek([[maybe_unused]] qlonglong Offset) {}
    void SetPosition([[maybe_unused]] const QDBusObjectPath& TrackId,
                     [[maybe_unused]] qlonglong Position)
    {
    }
    void OpenUri([[maybe_unused]] const QString& Uri) {}

Q_SIGNALS:
    // Never emitted: nothing can seek.
    void Seeked(qlonglong Position);

private:
    Mpris& m_owner;
};
