#include "radio/LoudnessMemory.h"

#include "app/AtomicFile.h"
#include "app/BoundedRead.h"

#include <QLoggingCategory>
#include <QStringDecoder>
#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcLoudnessMemory, "wavelark.radio.loudness")

bool LoudnessMemory::IsStorableName(const QString& name)
{
    if (name.isEmpty())
        return false;
    return std::none_of(name.begin(), name.end(), [](QChar c) {
        return c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
               c == QChar::ParagraphSeparator;
    });
}

LoudnessMemory LoudnessMemory::FromBytes(const QByteArray& bytes, bool cut)
{
    LoudnessMemory memory;
    qsizetype pos = 0;
    int lines = 0;
    while (pos < bytes.size() && lines < kMaxChannels) {
        const qsizetype lineFeed = bytes.indexOf('\n', pos);
        if (lineFeed < 0 && cut)
            break; // the bound cut this line short
        const qsizetype end = lineFeed < 0 ? bytes.size() : lineFeed;
        QByteArray line = bytes.mid(pos, end - pos);
        pos = end + 1;
        ++lines;
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype tab = line.indexOf('\t');
        if (tab <= 0)
            continue;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString name = decoder.decode(line.left(tab));
        if (decoder.hasError() || !IsStorableName(name))
            continue;
        bool number = false;
        const double gain = line.mid(tab + 1).trimmed().toDouble(&number);
        if (!number || !std::isfinite(gain))
            continue;
        memory.Remember(name, gain);
    }
    return memory;
}

QByteArray LoudnessMemory::ToBytes() const
{
    QByteArray bytes;
    for (const auto& [name, gain] : m_gains) {
        bytes += name.toUtf8();
        bytes += '\t';
        bytes += QByteArray::number(gain, 'f', 1);
        bytes += '\n';
    }
    return bytes;
}

LoudnessMemory LoudnessMemory::Read(const QString& path)
{
    const std::optional<BoundedBytes> read = ReadRegularFile(path, kMaxFileBytes);
    if (!read)
        return {};
    return FromBytes(read->bytes, read->cut);
}

bool LoudnessMemory::Write(const QString& path) const
{
    if (WriteFileAtomically(path, ToBytes()))
        return true;
    qCWarning(lcLoudnessMemory).noquote() << "cannot write" << path;
    return false;
}

std::optional<double> LoudnessMemory::Gain(const QString& name) const
{
    const auto found = std::find_if(m_gains.begin(), m_gains.end(),
                                    [&](const auto& entry) { return entry.first == name; });
    if (found == m_gains.end())
        return std::nullopt;
    return found->second;
}

void LoudnessMemory::Remember(const QString& name, double gainDb)
{
    if (!IsStorableName(name) || !std::isfinite(gainDb))
        return;
    const auto found = std::find_if(m_gains.begin(), m_gains.end(),
                                    [&](const auto& entry) { return entry.first == name; });
    if (found != m_gains.end())
        m_gains.erase(found);
    m_gains.emplace_back(name, std::clamp(gainDb, -kMaxGainDb, kMaxGainDb));
    if (m_gains.size() > std::size_t(kMaxChannels))
        m_gains.erase(m_gains.begin());
}
