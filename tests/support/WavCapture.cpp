#include "support/WavCapture.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr qsizetype kPlainHeaderSize = 44;

std::uint32_t Le32(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t(u[0]) | std::uint32_t(u[1]) << 8 | std::uint32_t(u[2]) << 16 |
           std::uint32_t(u[3]) << 24;
}

std::uint16_t Le16(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return std::uint16_t(u[0] | u[1] << 8);
}

void TakeSamples(WavCapture& capture, const char* data, qsizetype size)
{
    const qsizetype count = size / 2;
    capture.samples.resize(std::size_t(count));
    for (qsizetype i = 0; i < count; ++i)
        capture.samples[std::size_t(i)] = std::int16_t(Le16(data + 2 * i));
}

} // namespace

std::optional<WavCapture> WavCapture::Read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < kPlainHeaderSize || !bytes.startsWith("RIFF") ||
        std::memcmp(bytes.constData() + 8, "WAVE", 4) != 0)
        return std::nullopt;

    WavCapture capture;
    bool tiled = qsizetype(Le32(bytes.constData() + 4)) + 8 == bytes.size();
    bool sawFormat = false;
    const char* data = nullptr;
    qsizetype dataSize = 0;
    qsizetype offset = 12;
    // Walk the chunks; each declared length is checked against what is left of the file.
    while (tiled && offset + 8 <= bytes.size()) {
        const char* chunk = bytes.constData() + offset;
        const qsizetype size = qsizetype(Le32(chunk + 4));
        if (size > bytes.size() - offset - 8) {
            tiled = false;
            break;
        }
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
            if (Le16(chunk + 8) != 1 || Le16(chunk + 22) != 16)
                return std::nullopt;
            capture.channels = Le16(chunk + 10);
            capture.rate = int(Le32(chunk + 12));
            sawFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            data = chunk + 8;
            dataSize = size;
        }
        offset += 8 + size + (size & 1);
    }
    capture.headerComplete = tiled && sawFormat && data && offset == bytes.size();
    if (capture.headerComplete) {
        TakeSamples(capture, data, dataSize);
        return capture;
    }
    // Unfinished file: wavenc's plain header, then samples to the end.
    capture.channels = Le16(bytes.constData() + 22);
    capture.rate = int(Le32(bytes.constData() + 24));
    TakeSamples(capture, bytes.constData() + kPlainHeaderSize, bytes.size() - kPlainHeaderSize);
    return capture;
}

double WavCapture::Seconds() const
{
    if (channels <= 0 || rate <= 0)
        return 0.0;
    return double(samples.size()) / channels / rate;
}

double WavCapture::Rms(double fromSecond, double toSecond) const
{
    if (channels <= 0 || rate <= 0)
        return 0.0;
    const auto frameAt = [&](double second) {
        const double frames = std::clamp(second * rate, 0.0, double(samples.size() / channels));
        return std::size_t(frames) * std::size_t(channels);
    };
    const std::size_t begin = frameAt(fromSecond);
    const std::size_t end = frameAt(toSecond);
    if (end <= begin)
        return 0.0;
    double sum = 0.0;
    for (std::size_t i = begin; i < end; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(end - begin));
}

double WavCapture::ToneFrequency(double fromSecond, double toSecond) const
{
    if (channels <= 0 || rate <= 0)
        return 0.0;
    const std::size_t frameCount = samples.size() / std::size_t(channels);
    const auto frameAt = [&](double second) {
        return std::size_t(std::clamp(second * rate, 0.0, double(frameCount)));
    };
    const std::size_t begin = frameAt(fromSecond);
    const std::size_t end = frameAt(toSecond);
    if (end <= begin + 1)
        return 0.0;
    // Rising zero crossings of the first channel.
    int rising = 0;
    for (std::size_t frame = begin + 1; frame < end; ++frame) {
        const std::size_t i = frame * std::size_t(channels);
        if (samples[i - std::size_t(channels)] < 0 && samples[i] >= 0)
            ++rising;
    }
    return rising * double(rate) / double(end - begin - 1);
}

QByteArray FastWavSink(const QString& path)
{
    return QStringLiteral("audioconvert ! audio/x-raw,format=S16LE ! wavenc ! "
                          "filesink sync=false location=\"%1\"")
        .arg(path)
        .toUtf8();
}

QByteArray RealTimeWavSink(const QString& path)
{
    return QStringLiteral("tee name=t ! queue ! fakesink sync=true "
                          "t. ! queue ! audioconvert ! audio/x-raw,format=S16LE ! wavenc ! "
                          "filesink sync=false location=\"%1\"")
        .arg(path)
        .toUtf8();
}
