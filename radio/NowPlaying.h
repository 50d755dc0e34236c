#pragma once

#include <QString>

// What the tray icon's tool tip tells about playback. The first line is always "Wavelark";
// below it the selected channel and then one of its state, the stream's current title or
// nothing:
//
//     Wavelark              Wavelark              Wavelark
//     Radio One             Radio One             Radio One
//     Artist - Song         stopped               reconnecting
//
// Without a selected channel the tool tip is "Wavelark" alone. While recording, a line
// "Recording" follows; a timer or schedule in force adds its own last line ("Sleep in 20 min",
// "Playtime 07:00–09:00").
struct NowPlaying
{
    QString channelName;
    QString streamTitle;
    bool playing = false;
    bool reconnecting = false;
    QString lastLine;
    bool recording = false;
};

// Longest stream title kept, in characters; a longer one is cut and ends in "...".
inline constexpr int kMaxStreamTitleLength = 120;

// A stream title as it may be shown: control characters removed, white space (tabs and line
// breaks too) collapsed to single spaces between words, cut to kMaxStreamTitleLength without
// splitting a surrogate pair. Stations send whatever their playout software writes there. (The
// bytes are decoded before: UTF-8 when valid, else Windows-1252; see MediaPlayer.)
QString CleanStreamTitle(const QString& title);

// The tray tool tip for `state`.
QString TrayToolTipText(const NowPlaying& state);
