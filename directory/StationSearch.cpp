#include "directory/StationSearch.h"

#include "app/AnsiText.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <limits>

namespace {

constexpr quint32 kNoWord = std::numeric_limits<quint32>::max();

bool IsAddress(const QString& part)
{
    return (part.contains(QLatin1String("://")) && !part.contains(QLatin1Char(' '))) ||
           part.startsWith(QLatin1String("www."), Qt::CaseInsensitive);
}

bool IsCodec(QStringView text)
{
    static const QLatin1String codecs[] = {
        QLatin1String("MP3"),  QLatin1String("AAC"),     QLatin1String("AAC+"),
        QLatin1String("OGG"),  QLatin1String("OPUS"),    QLatin1String("FLAC"),
        QLatin1String("WMA"),  QLatin1String("UNKNOWN"), QLatin1String("HLS"),
        QLatin1String("MPEG"), QLatin1String("VORBIS"),  QLatin1String("MP4"),
        QLatin1String("FLV")};
    for (const QLatin1String codec : codecs)
        if (text == codec)
            return true;
    return false;
}

// "MP3 128 kbit/s", "128 kbit/s", or a codec alone as the directory writes it ("AAC+", "OGG",
// "MP3,H.264"); a tag in capitals ("JAZZ") stays a tag.
bool IsFormat(QStringView part)
{
    if (part.endsWith(QLatin1String(" kbit/s"))) {
        QStringView rest = part.chopped(7);
        const qsizetype space = rest.lastIndexOf(QLatin1Char(' '));
        const QStringView number = space < 0 ? rest : rest.sliced(space + 1);
        if (number.isEmpty() ||
            !std::all_of(number.begin(), number.end(), [](QChar c) { return c.isDigit(); }))
            return false;
        return space < 0 || !rest.first(space).contains(QLatin1Char(' '));
    }
    // A codec, then any number of ",FORMAT" parts (a video stream's codec).
    const qsizetype comma = part.indexOf(QLatin1Char(','));
    return IsCodec(comma < 0 ? part : part.first(comma)) && !part.contains(QLatin1Char(' '));
}

QString Folded(const QString& text)
{
    // Most names and tags are plain ASCII, which decomposes to itself.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toLower();
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString kept;
    kept.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining &&
            category != QChar::Mark_Enclosing)
            kept += c;
    }
    // Qt folds case letter by letter; "ß" folds to "ss" only in full case folding, which is
    // how people type it without the letter.
    return kept.toCaseFolded().replace(QChar(0xDF), QLatin1String("ss"));
}

bool InWord(QChar c)
{
    // Surrogates carry letters outside the basic plane (most CJK extensions, historic scripts).
    return c.isLetterOrNumber() || c.isSurrogate();
}

} // namespace

ChannelInfo ReadChannelInfo(const QString& infoText)
{
    ChannelInfo info;
    const QStringList parts = infoText.split(QStringLiteral(" | "));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString part = parts[i].trimmed();
        if (part.isEmpty())
            continue;
        if (IsAddress(part)) {
            if (info.homepage.isEmpty())
                info.homepage = part;
        } else if (i == 0 && IsFormat(part)) {
            info.format = part;
        } else {
            info.keywords.append(part);
        }
    }
    return info;
}

QStringList StationSearch::FoldedWords(const QString& text)
{
    const QString folded = Folded(text);
    QStringList words;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= folded.size(); ++i) {
        const bool inWord = i < folded.size() && InWord(folded[i]);
        if (inWord && start < 0) {
            start = i;
        } else if (!inWord && start >= 0) {
            words.append(folded.mid(start, i - start));
            start = -1;
        }
    }
    return words;
}

StationSearch::StationSearch(const ChannelList& list)
{
    const auto count = static_cast<quint32>(
        std::min<size_t>(list.records.size(), std::numeric_limits<qint32>::max() >> 1));
    m_recordCount = int(count);

    // Words get provisional numbers in the order they are met; the table sorts them after.
    QHash<QByteArray, quint32> provisional;
    std::vector<QByteArray> words;
    const auto number = [&](const QString& word) {
        const QByteArray utf8 = word.toUtf8();
        const auto found = provisional.constFind(utf8);
        if (found != provisional.cend())
            return *found;
        const auto id = quint32(words.size());
        provisional.insert(utf8, id);
        words.push_back(utf8);
        return id;
    };
    // (word, posting) pairs; and the name words per record, provisionally numbered.
    std::vector<std::pair<quint32, quint32>> pairs;
    pairs.reserve(size_t(count) * 8);
    m_nameStart.reserve(size_t(count) + 1);
    m_nameStart.push_back(0);
    // Thousands of channels share a few hundred countries: each is folded once.
    QHash<QByteArray, std::vector<quint32>> countries;
    for (quint32 r = 0; r < count; ++r) {
        const ChannelRecord& record = list.records[r];
        for (const QString& word : FoldedWords(DecodeText(list.encoding, record.name))) {
            const quint32 id = number(word);
            m_nameWords.push_back(id);
            pairs.emplace_back(id, (r << 1) | 1U);
        }
        m_nameStart.push_back(quint32(m_nameWords.size()));
        auto country = countries.find(record.category);
        if (country == countries.end()) {
            std::vector<quint32> ids;
            for (const QString& word : FoldedWords(DecodeText(list.encoding, record.category)))
                ids.push_back(number(word));
            country = countries.insert(record.category, ids);
        }
        for (const quint32 id : *country)
            pairs.emplace_back(id, r << 1);
        const ChannelInfo info = ReadChannelInfo(DecodeText(list.encoding, record.infoText));
        for (const QString& keyword : info.keywords) {
            for (const QString& word : FoldedWords(keyword))
                pairs.emplace_back(number(word), r << 1);
        }
    }

    std::vector<quint32> order(words.size());
    for (quint32 i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](quint32 a, quint32 b) { return words[a] < words[b]; });
    std::vector<quint32> place(words.size());
    m_wordStart.reserve(words.size() + 1);
    for (quint32 i = 0; i < order.size(); ++i) {
        place[order[i]] = i;
        m_wordStart.push_back(quint32(m_wordText.size()));
        m_wordText += words[order[i]];
    }
    m_wordStart.push_back(quint32(m_wordText.size()));
    for (quint32& word : m_nameWords)
        word = place[word];

    for (auto& [word, posting] : pairs)
        word = place[word];
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    m_postings.reserve(pairs.size());
    m_postingStart.assign(words.size() + 1, 0);
    for (const auto& [word, posting] : pairs) {
        ++m_postingStart[word + 1];
        m_postings.push_back(posting);
    }
    for (size_t i = 1; i < m_postingStart.size(); ++i)
        m_postingStart[i] += m_postingStart[i - 1];

    m_wordText.squeeze();
    m_wordStart.shrink_to_fit();
    m_postingStart.shrink_to_fit();
    m_postings.shrink_to_fit();
    m_nameStart.shrink_to_fit();
    m_nameWords.shrink_to_fit();
}

qsizetype StationSearch::MemoryBytes() const
{
    const auto bytes = [](const std::vector<quint32>& v) {
        return qsizetype(v.capacity() * sizeof(quint32));
    };
    return qsizetype(sizeof(*this)) + m_wordText.capacity() + bytes(m_wordStart) +
           bytes(m_postingStart) + bytes(m_postings) + bytes(m_nameStart) + bytes(m_nameWords);
}

QByteArrayView StationSearch::WordAt(quint32 word) const
{
    return QByteArrayView(m_wordText)
        .sliced(m_wordStart[word], m_wordStart[word + 1] - m_wordStart[word]);
}

std::pair<quint32, quint32> StationSearch::PrefixRange(const QByteArray& prefix) const
{
    const auto wordCount = quint32(m_wordStart.empty() ? 0 : m_wordStart.size() - 1);
    quint32 low = 0;
    quint32 high = wordCount;
    // First word not below the prefix.
    while (low < high) {
        const quint32 mid = low + (high - low) / 2;
        if (WordAt(mid) < QByteArrayView(prefix))
            low = mid + 1;
        else
            high = mid;
    }
    const quint32 first = low;
    high = wordCount;
    // First word past those that start with the prefix.
    while (low < high) {
        const quint32 mid = low + (high - low) / 2;
        if (WordAt(mid).startsWith(prefix))
            low = mid + 1;
        else
            high = mid;
    }
    return {first, low};
}

std::vector<SearchHit> StationSearch::Find(const QString& query, int limit,
                                           const ChannelList& list) const
{
    std::vector<SearchHit> hits;
    const quint32 count = quint32(std::min<size_t>(size_t(m_recordCount), list.records.size()));
    QStringList words = FoldedWords(query);
    if (limit <= 0 || count == 0 || words.isEmpty())
        return hits;
    if (words.size() > kMaxQueryWords)
        words.resize(kMaxQueryWords);
    const auto k = int(words.size());

    std::vector<std::pair<quint32, quint32>> ranges;
    std::vector<quint32> exact;
    for (const QString& word : words) {
        const QByteArray prefix = word.toUtf8();
        const auto range = PrefixRange(prefix);
        if (range.first == range.second)
            return hits;
        ranges.push_back(range);
        exact.push_back(WordAt(range.first) == QByteArrayView(prefix) ? range.first : kNoWord);
    }

    // Which query words each record holds, and whether one of them is in its name.
    std::vector<quint32> matched(count, 0);
    std::vector<quint8> inName(count, 0);
    for (int j = 0; j < k; ++j) {
        const quint32 bit = 1U << j;
        const quint32* begin = m_postings.data() + m_postingStart[ranges[size_t(j)].first];
        const quint32* end = m_postings.data() + m_postingStart[ranges[size_t(j)].second];
        for (const quint32* p = begin; p != end; ++p) {
            const quint32 record = *p >> 1;
            if (record >= count)
                continue;
            matched[record] |= bit;
            inName[record] |= quint8(*p & 1U);
        }
    }

    const quint32 all = k == 32 ? ~0U : (1U << k) - 1;
    const auto rankOf = [&](quint32 record) {
        const quint32* name = m_nameWords.data() + m_nameStart[record];
        const quint32 nameLength = m_nameStart[record + 1] - m_nameStart[record];
        if (nameLength >= quint32(k)) {
            bool leading = true;
            for (int j = 0; leading && j + 1 < k; ++j)
                leading = name[j] == exact[size_t(j)];
            const quint32 last = name[k - 1];
            const auto& lastRange = ranges[size_t(k - 1)];
            if (leading && last >= lastRange.first && last < lastRange.second)
                return nameLength == quint32(k) && last == exact[size_t(k - 1)]
                           ? SearchRank::WholeName
                           : SearchRank::NameStart;
        }
        return inName[record] ? SearchRank::NameWord : SearchRank::OtherField;
    };
    std::array<std::vector<quint32>, 4> ranked;
    for (quint32 record = 0; record < count; ++record) {
        if (matched[record] != all || list.records[record].available != 1)
            continue;
        std::vector<quint32>& bucket = ranked[size_t(rankOf(record))];
        // A rank already holding `limit` records fills the results on its own.
        if (bucket.size() < size_t(limit))
            bucket.push_back(record);
    }
    for (size_t rank = 0; rank < ranked.size(); ++rank) {
        for (const quint32 record : ranked[rank]) {
            if (hits.size() >= size_t(limit))
                return hits;
            hits.push_back({int(record), SearchRank(rank)});
        }
    }
    return hits;
}
