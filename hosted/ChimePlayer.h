#pragma once

#include <QByteArray>
#include <memory>

// A gentle chime the program makes itself: three soft bell notes, then a rest, again and again,
// for a wake-up that must not stay silent when its channel cannot be played. Its own small
// pipeline beside the player, so a broken stream cannot take the chime down with it.
//
// The audio goes to autoaudiosink, or to the sink described by WAVELARK_CHIME_SINK, else
// WAVELARK_AUDIO_SINK (a gst-launch bin description), as with the player.
class ChimePlayer
{
public:
    static constexpr int kRate = 22050;
    static constexpr double kCycleSeconds = 6.0;

    // The chime, or nullptr when GStreamer or its elements are unavailable.
    static std::unique_ptr<ChimePlayer> Create();
    ~ChimePlayer();
    ChimePlayer(const ChimePlayer&) = delete;
    ChimePlayer& operator=(const ChimePlayer&) = delete;

    // Starts the chime at the level last set (silent until a level is set).
    bool Play();
    // Stops it; a capture sink gets its file finished first (bounded).
    void Stop();
    bool IsPlaying() const { return m_playing; }
    // 0..100 on the player's cubic scale.
    void SetLevel(int level);

    // One cycle of the chime: mono 16-bit little-endian samples at kRate.
    static QByteArray CycleSamples();

private:
    struct Pipeline;
    explicit ChimePlayer(std::unique_ptr<Pipeline> pipeline);

    std::unique_ptr<Pipeline> m_pipeline;
    bool m_playing = false;
};
