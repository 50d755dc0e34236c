#include "radio/EvenLoudness.h"

#include "hosted/MediaPlayer.h"
#include "radio/Options.h"
#include "radio/RadioPlayback.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcEvenLoudness, "wavelark.radio.loudness")

EvenLoudness::EvenLoudness(RadioPlayback& playback, MediaPlayer& player, QObject* parent)
    : QObject(parent), m_playback(playback), m_player(player), m_on(Options::EvenLoudness()),
      m_memory(LoudnessMemory::Read())
{
    if (m_on && !m_player.SetEvenLoudness(true))
        m_on = false;
    m_saveTimer.setSingleShot(true);
    connect(&m_saveTimer, &QTimer::timeout, this, &EvenLoudness::Save);
    // Direct: the playback selects a channel before it hands the stream to the player, so the
    // learned gain is in place for the stream's first audio.
    connect(&m_playback, &RadioPlayback::SelectedChannelChanged, this,
            &EvenLoudness::OnChannelChanged);
    connect(&m_playback, &RadioPlayback::PlayingChanged, this, [this](int isPlaying) {
        if (isPlaying != 1)
            Save();
    });
    connect(&m_player, &MediaPlayer::FirstAudio, this, [this] { m_streamStarted = true; });
    connect(&m_player, &MediaPlayer::LoudnessGainChanged, this, &EvenLoudness::OnGain);
    OnChannelChanged();
}

EvenLoudness::~EvenLoudness()
{
    Save();
}

void EvenLoudness::SetOn(bool on)
{
    if (on == m_on)
        return;
    if (!m_player.SetEvenLoudness(on)) {
        qCWarning(lcEvenLoudness) << "even loudness is not available";
        return;
    }
    m_on = on;
    Options::SetEvenLoudness(on);
    Q_EMIT OnChanged(on);
}

void EvenLoudness::OnChannelChanged()
{
    // Until the new channel's stream sounds, the player still reports on the previous one.
    m_streamStarted = false;
    m_channel = m_playback.SelectedChannelText();
    m_player.SetNextLoudnessGain(m_memory.Gain(m_channel).value_or(0.0));
}

void EvenLoudness::OnGain(double gainDb)
{
    if (!m_streamStarted || m_channel.isEmpty())
        return;
    m_memory.Remember(m_channel, gainDb);
    m_unsaved = true;
    if (!m_saveTimer.isActive())
        m_saveTimer.start(kSaveInterval);
}

void EvenLoudness::Save()
{
    m_saveTimer.stop();
    if (!m_unsaved)
        return;
    m_unsaved = false;
    m_memory.Write();
}
