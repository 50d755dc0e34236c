#pragma once

#include "radio/LoudnessMemory.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>

class MediaPlayer;
class RadioPlayback;

// "Even loudness": whether the player levels every channel toward one loudness (kept in
// "wavelark.ini", on unless turned off), and the gain learned for each channel (kept in
// "loudness.dat"), which the channel starts at the next time it is chosen.
//
// It watches the playback: a channel change hands the player the new channel's learned gain
// for its stream, and the gains the player reports from the first audio of that stream on are
// remembered for that channel.
class EvenLoudness : public QObject
{
    Q_OBJECT

public:
    // Learned gains reach the file at most this often while a channel plays, and whenever
    // playback stops and at the end.
    static constexpr std::chrono::seconds kSaveInterval{30};

    // Reads both files and sets the player up accordingly.
    EvenLoudness(RadioPlayback& playback, MediaPlayer& player, QObject* parent = nullptr);
    // Writes what was learned since the last write.
    ~EvenLoudness() override;
    EvenLoudness(const EvenLoudness&) = delete;
    EvenLoudness& operator=(const EvenLoudness&) = delete;

    bool IsOn() const { return m_on; }
    // Turns levelling on or off for the stream that plays and every later one, and keeps the
    // choice in "wavelark.ini".
    void SetOn(bool on);

    const LoudnessMemory& Memory() const { return m_memory; }
    // Writes "loudness.dat" when something was learned since the last write.
    void Save();

Q_SIGNALS:
    // IsOn changed.
    void OnChanged(bool on);

private:
    void OnChannelChanged();
    void OnGain(double gainDb);

    RadioPlayback& m_playback;
    MediaPlayer& m_player;
    bool m_on = true;
    LoudnessMemory m_memory;
    // The channel whose stream the player's gain reports belong to once its audio flows.
    QString m_channel;
    bool m_streamStarted = false;
    bool m_unsaved = false;
    QTimer m_saveTimer;
};
