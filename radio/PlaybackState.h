#pragma once

class QWidget;

// What plays, owned by the hidden main window and read by the windows that drive playback.
struct PlaybackState
{
    int IsPlaying = 0;           // 1 after the player accepted a stream address, 0 after a stop
    int IsMuted = 0;             // the mute state last set on the player
    int RandomPickedAtStart = 0; // 1 when start-up chose a random channel
    QWidget* OpenRadioWindow = nullptr; // the visible radio window while it is open
};
