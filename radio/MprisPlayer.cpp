#include "radio/MprisPlayer.h"

#include "radio/Mpris.h"

MprisPlayer::MprisPlayer(Mpris* owner) : QDBusAbstractAdaptor(owner), m_owner(*owner)
{
    setAutoRelaySignals(false);
}

QString MprisPlayer::PlaybackStatus() const
{
    return m_owner.PlaybackStatus();
}

QVariantMap MprisPlayer::Metadata() const
{
    return m_owner.Metadata();
}

double MprisPlayer::Volume() const
{
    return m_owner.Volume();
}

void MprisPlayer::SetVolume(double volume)
{
    m_owner.SetVolume(volume);
}

bool MprisPlayer::CanPlay() const
{
    return m_owner.CanPlay();
}

void MprisPlayer::Next()
{
    m_owner.Next();
}

void MprisPlayer::Pause()
{
    m_owner.Pause();
}

void MprisPlayer::PlayPause()
{
    m_owner.PlayPause();
}

void MprisPlayer::Stop()
{
    m_owner.Stop();
}

void MprisPlayer::Play()
{
    m_owner.Play();
}
