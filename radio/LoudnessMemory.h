#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

// The levelling gain learned for each channel, so that a channel starts at its level at once
// the next time it plays. Kept in "loudness.dat" in the working folder: one channel per line,
// its name, a TAB and the gain in dB ("Alpha\t-6.5"), UTF-8, LF line ends.
//
// The file is read bounded (kMaxFileBytes, kMaxChannels), never through a symbolic link, and
// damaged lines are skipped; it is written whole and renamed into place.
class LoudnessMemory
{
public:
    static constexpr const char* kFileName = "loudness.dat";
    static constexpr qint64 kMaxFileBytes = 1024 * 1024;
    static constexpr int kMaxChannels = 10000;
    // Gains outside the levelling's own bounds are brought back into them.
    static constexpr double kMaxGainDb = 12.0;

    // What `bytes` hold: lines without a TAB, with an empty or invalid (UTF-8) name, or with a
    // gain that is not a finite number are skipped; of a name given twice the later line
    // counts; lines after the kMaxChannels-th are ignored, and so is an unfinished last line
    // of a file that was cut at kMaxFileBytes.
    static LoudnessMemory FromBytes(const QByteArray& bytes, bool cut = false);
    QByteArray ToBytes() const;

    // The memory in `path`; empty when the file is missing, unreadable or a symbolic link.
    static LoudnessMemory Read(const QString& path = QString::fromLatin1(kFileName));
    // Replaces `path` atomically; false, leaving the previous file, when it cannot be written.
    bool Write(const QString& path = QString::fromLatin1(kFileName)) const;

    std::optional<double> Gain(const QString& name) const;
    // Remembers `gainDb` (clamped) for `name`, as the most recently learned. A name that cannot
    // be stored on a line of its own (empty, with a TAB or a control character) is not kept.
    // When kMaxChannels are known, the channel learned longest ago is forgotten.
    void Remember(const QString& name, double gainDb);
    int Size() const { return int(m_gains.size()); }

    static bool IsStorableName(const QString& name);

private:
    // In the order learned, oldest first.
    std::vector<std::pair<QString, double>> m_gains;
};
