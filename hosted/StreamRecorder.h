#pragma once

#include <QObject>
#include <QString>
#include <memory>

class MediaPlayer;

// Records what the player's stream sends, as it arrives: the stream's own bytes, without
// decoding (ICY metadata taken out; for HLS the media segments in order), one file per title:
//
//     <folder>/YYYY-MM-DD HH.MM.SS - <title>.<mp3|aac|ogg|opus|ts>
//
// named after the channel before the first title. Shoutcast titles split the files exactly
// where they sit in the stream; other streams (Ogg) split at the next page once the player
// reports the title, and each Ogg file begins with the stream's header pages. A new stream (a
// reconnect) begins a new file. MP3 files get an ID3v2 tag once closed.
//
// The bytes are copied on GStreamer's streaming threads into a bounded queue; a thread of its
// own writes them, so playback never waits for the disk. A write that fails (a full disk, a
// folder that cannot be written) or a disk too slow for the queue ends the recording with
// Failed; the files keep what was written, up to a whole piece.
class StreamRecorder : public QObject
{
    Q_OBJECT

public:
    // Bytes waiting for the disk at most; beyond that the recording ends.
    static constexpr qsizetype kMaxQueuedBytes = 1536 * 1024;

    explicit StreamRecorder(MediaPlayer& player, QObject* parent = nullptr);
    ~StreamRecorder() override;
    StreamRecorder(const StreamRecorder&) = delete;
    StreamRecorder& operator=(const StreamRecorder&) = delete;

    // Starts recording into `folder` (made when missing). `channel` names files before the
    // first title; `title` is the title playing now, if the player knows one.
    void Start(const QString& folder, const QString& channel, const QString& title);
    // Ends the recording; the last file is closed (and tagged) on the writer's thread.
    void Stop();
    bool IsRecording() const { return m_recording; }

    // The player announced a title. Used for streams that carry no Shoutcast titles.
    void OfferTitle(const QString& title);

    // Waits until everything asked for so far is on disk (tests, and the end of the program).
    void Flush();

    // Shared with GStreamer's streaming threads and the writer's thread.
    struct Tap;

Q_SIGNALS:
    // IsRecording changed.
    void RecordingChanged(bool recording);
    // The recording ended on its own: the disk is full, the folder cannot be written, or the
    // disk cannot keep up. Emitted once per recording.
    void Failed(const QString& reason);
    // A file is complete (closed and, for MP3, tagged).
    void FileFinished(const QString& path);

private:
    struct Writer;

    void OnFailed(const QString& reason);

    std::shared_ptr<Tap> m_tap;
    bool m_recording = false;
};
