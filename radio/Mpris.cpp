#include "radio/Mpris.h"

#include "app/AnsiText.h"
#include "radio/MprisPlayer.h"
#include "radio/MprisRoot.h"
#include "radio/RadioPlayback.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QLoggingCategory>
#include <QMetaObject>
#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcMpris, "wavelark.mpris")

Mpris::Mpris(RadioPlayback& playback, Actions actions, QObject* parent)
    : QObject(parent), m_playback(playback), m_actions(std::move(actions)), m_bus(QString())
{
    new MprisRoot(this);
    new MprisPlayer(this);
    m_announced = CurrentState();
    connect(&m_playback, &RadioPlayback::PlayingChanged, this, &Mpris::AnnounceChanges);
    connect(&m_playback, &RadioPlayback::SelectedChannelChanged, this, &Mpris::AnnounceChanges);
    connect(&m_playback, &RadioPlayback::StreamTitleChanged, this, &Mpris::AnnounceChanges);
    connect(&m_playback, &RadioPlayback::VolumeChanged, this, &Mpris::AnnounceChanges);
}

Mpris::~Mpris()
{
    if (!m_published)
        return;
    m_bus.unregisterService(QString::fromLatin1(kServiceName));
    m_bus.unregisterObject(QString::fromLatin1(kObjectPath));
}

bool Mpris::Publish(const QDBusConnection& bus)
{
    if (m_published)
        return true;
    if (!bus.isConnected()) {
        qCInfo(lcMpris).noquote()
            << QStringLiteral("no D-Bus session bus (%1): desktop media controls cannot reach "
                              "Wavelark")
                   .arg(bus.lastError().message());
        return false;
    }
    const QString path = QString::fromLatin1(kObjectPath);
    const QString name = QString::fromLatin1(kServiceName);
    QDBusConnection connection = bus;
    if (!connection.registerObject(path, this, QDBusConnection::ExportAdaptors)) {
        qCWarning(lcMpris).noquote() << "cannot export" << path << "on the session bus";
        return false;
    }
    // Never take the name from another owner and never wait in line for it: one program owns
    // it, and a second one must not steal the desktop's media keys.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        connection.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                                QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        qCWarning(lcMpris).noquote()
            << name << "is taken on the session bus:"
            << (reply.isValid() ? QStringLiteral("owned by another program")
                                : reply.error().message());
        connection.unregisterObject(path);
        return false;
    }
    m_bus = connection;
    m_published = true;
    m_announced = CurrentState();
    qCInfo(lcMpris).noquote() << "on the session bus as" << name;
    return true;
}

void Mpris::Later(std::function<void()> action)
{
    QMetaObject::invokeMethod(this, std::move(action), Qt::QueuedConnection);
}

void Mpris::Raise()
{
    Later([this] {
        if (m_actions.raise)
            m_actions.raise();
    });
}

void Mpris::Quit()
{
    Later([this] {
        if (m_actions.quit)
            m_actions.quit();
    });
}

QString Mpris::PlaybackStatus() const
{
    return m_playback.IsPlaying() ? QStringLiteral("Playing") : QStringLiteral("Stopped");
}

QString Mpris::TrackIdFor(const QByteArray& channelName)
{
    if (channelName.isEmpty())
        return QString::fromLatin1(kNoTrack);
    // Object path elements allow only [A-Za-z0-9_]; hex keeps every name distinct.
    return QStringLiteral("/org/wavelark/channel/") + QString::fromLatin1(channelName.toHex());
}

QVariantMap Mpris::Metadata() const
{
    const QByteArray& name = m_playback.SelectedChannelName();
    QVariantMap metadata;
    metadata.insert(QStringLiteral("mpris:trackid"),
                    QVariant::fromValue(QDBusObjectPath(TrackIdFor(name))));
    if (name.isEmpty())
        return metadata;
    const QString channel = m_playback.SelectedChannelText();
    const QString& title = m_playback.StreamTitle();
    metadata.insert(QStringLiteral("xesam:title"), title.isEmpty() ? channel : title);
    metadata.insert(QStringLiteral("xesam:album"), channel);
    return metadata;
}

int Mpris::LevelForVolume(double volume)
{
    // Negative volumes mean silence; NaN too.
    if (!(volume > 0.0))
        return 0;
    return int(std::lround(std::min(volume, 1.0) * 100.0));
}

double Mpris::VolumeForLevel(int level)
{
    return std::clamp(level, 0, 100) / 100.0;
}

double Mpris::Volume() const
{
    return VolumeForLevel(m_playback.Volume());
}

void Mpris::SetVolume(double volume)
{
    // Like the slider: the player follows at once; the settings file keeps its value until the
    // radio window writes it.
    const int level = LevelForVolume(volume);
    if (level != m_playback.Volume())
        m_playback.SetVolume(level);
}

bool Mpris::CanPlay() const
{
    return !m_playback.SelectedChannelName().isEmpty();
}

void Mpris::Play()
{
    Later([this] {
        if (!m_playback.IsPlaying())
            m_playback.StopOrResume();
    });
}

void Mpris::Pause()
{
    Stop();
}

void Mpris::Stop()
{
    Later([this] {
        if (m_playback.IsPlaying())
            m_playback.StopOrResume();
    });
}

void Mpris::PlayPause()
{
    Later([this] { m_playback.StopOrResume(); });
}

void Mpris::Next()
{
    Later([this] { m_playback.PlayChannel(QByteArrayLiteral("random"), PlayMode::Random); });
}

Mpris::PlayerState Mpris::CurrentState() const
{
    return {PlaybackStatus(), Metadata(), m_playback.Volume(), CanPlay()};
}

void Mpris::AnnounceChanges()
{
    const PlayerState now = CurrentState();
    QVariantMap changed;
    if (now.playbackStatus != m_announced.playbackStatus)
        changed.insert(QStringLiteral("PlaybackStatus"), now.playbackStatus);
    if (now.metadata != m_announced.metadata)
        changed.insert(QStringLiteral("Metadata"), now.metadata);
    if (VolumeForLevel(now.volumeLevel) != VolumeForLevel(m_announced.volumeLevel))
        changed.insert(QStringLiteral("Volume"), VolumeForLevel(now.volumeLevel));
    if (now.canPlay != m_announced.canPlay)
        changed.insert(QStringLiteral("CanPlay"), now.canPlay);
    m_announced = now;
    if (changed.isEmpty() || !m_published)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    m_bus.send(signal);
}
