#include "hosted/RecordingNames.h"

QString SafeNamePart(const QString& text, qsizetype maxBytes)
{
    QString name;
    name.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('/') || c.isNull() || c.category() == QChar::Other_Control)
            continue;
        name.append(c);
    }
    name = name.trimmed();
    // Cut whole characters (a surrogate pair is one) until the UTF-8 fits.
    while (name.toUtf8().size() > maxBytes) {
        qsizetype cut = name.size() - 1;
        if (cut > 0 && name.at(cut).isLowSurrogate())
            --cut;
        name.truncate(cut);
    }
    name = name.trimmed();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("_");
    return name;
}

QString RecordingFileName(const QDateTime& start, const QString& name, const QString& extension)
{
    return start.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")) + QStringLiteral(" - ") +
           SafeNamePart(name) + QLatin1Char('.') + extension;
}

QString StreamExtension(QByteArrayView bytes)
{
    if (bytes.startsWith("OggS")) {
        // The first page's first packet names the codec.
        return bytes.first(std::min<qsizetype>(bytes.size(), 512)).indexOf("OpusHead") >= 0
                   ? QStringLiteral("opus")
                   : QStringLiteral("ogg");
    }
    if (bytes.startsWith("ID3"))
        return QStringLiteral("mp3");
    if (bytes.size() > 188 * 2 && bytes[0] == 0x47 && bytes[188] == 0x47 && bytes[376] == 0x47)
        return QStringLiteral("ts");
    // A live stream may begin anywhere: the first frame sync within the first bytes.
    const qsizetype end = std::min<qsizetype>(bytes.size() - 1, 4096);
    for (qsizetype i = 0; i < end; ++i) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        if (a != 0xFF || (b & 0xE0) != 0xE0)
            continue;
        const int layer = (b >> 1) & 3;
        if ((b & 0xF6) == 0xF0)
            return QStringLiteral("aac"); // ADTS: MPEG-2/4, layer bits 00
        if (layer != 0 && ((b >> 3) & 3) != 1)
            return QStringLiteral("mp3");
    }
    return {};
}

std::pair<QString, QString> SplitArtistAndTitle(const QString& streamTitle)
{
    const qsizetype dash = streamTitle.indexOf(QStringLiteral(" - "));
    if (dash <= 0)
        return {QString(), streamTitle.trimmed()};
    return {streamTitle.left(dash).trimmed(), streamTitle.mid(dash + 3).trimmed()};
}
