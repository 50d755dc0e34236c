#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// What the player wrote into a capture file: 16-bit PCM from wavenc.
struct WavCapture
{
    bool headerComplete = false; // RIFF size and every chunk size agree with the file's length
    int channels = 0;
    int rate = 0;
    std::vector<std::int16_t> samples; // interleaved

    // Reads `path`. A file whose header was never finished still yields the samples after the
    // 44-byte header, with headerComplete false. Nothing when the file is not a 16-bit WAV.
    static std::optional<WavCapture> Read(const QString& path);

    // Root mean square of the samples in [fromSecond, toSecond) of the capture.
    double Rms(double fromSecond = 0.0, double toSecond = 1e9) const;
    double Seconds() const;
    // The frequency of a sine tone in [fromSecond, toSecond), from the rising zero crossings of
    // the first channel; 0 when there are no samples there.
    double ToneFrequency(double fromSecond = 0.0, double toSecond = 1e9) const;
};

// Sink descriptions for WAVELARK_AUDIO_SINK.
// Decodes as fast as it can into `path`.
QByteArray FastWavSink(const QString& path);
// Paced like a sound card, while also writing `path`.
QByteArray RealTimeWavSink(const QString& path);
