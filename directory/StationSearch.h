#pragma once

#include "directory/ChannelCatalogue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <vector>

// What a channel's tool-tip text tells besides its name and country. Imported stations carry
// "codec bitrate kbit/s | tag, tag | homepage" there (any part may be missing); the demo
// catalogue carries a sentence, which reads as one descriptive part.
struct ChannelInfo
{
    QString format;       // "MP3 128 kbit/s", or empty
    QStringList keywords; // the parts that describe the channel: tags, language, a sentence
    QString homepage;     // an address, or empty
};
ChannelInfo ReadChannelInfo(const QString& infoText);

// How well a channel matched a query, best first.
enum class SearchRank : quint8 {
    WholeName = 0,  // the whole name is the query
    NameStart = 1,  // the name starts with the query
    NameWord = 2,   // a word of the query starts a word of the name
    OtherField = 3, // only the country, tags or language hold the query's words
};

struct SearchHit
{
    int record = 0; // index in the channel list
    SearchRank rank = SearchRank::OtherField;
};

// Finds channels as the user types. A channel matches when every word of the query starts a
// word of its name, country or descriptive keywords, ignoring case and accents ("cafe" finds
// "Café"). Results come best rank first and, within a rank, in catalogue order; only channels
// the package offers are results.
//
// Built once per channel list, the index keeps every distinct folded word once, sorted, with
// the records that hold it: a query word is a range of that table found by binary search, and
// a keystroke costs a walk over the postings of its words' ranges, not a pass over every text.
class StationSearch
{
public:
    // How many results the radio window and the desktop's search show.
    static constexpr int kWindowResults = 500;
    static constexpr int kDesktopResults = 50;
    // Words of a query past this many are not looked at.
    static constexpr int kMaxQueryWords = 32;

    StationSearch() = default;
    explicit StationSearch(const ChannelList& list);

    // Up to `limit` hits for `query` among the records of `list` (the list the index was built
    // from; its availability is read as it is now). A query without words finds nothing.
    std::vector<SearchHit> Find(const QString& query, int limit, const ChannelList& list) const;

    // Records the index covers.
    int RecordCount() const { return m_recordCount; }
    // Bytes the index holds.
    qsizetype MemoryBytes() const;

    // The text's words, each folded: decomposed, accents dropped, case folded. A word is a run
    // of letters and digits.
    static QStringList FoldedWords(const QString& text);

private:
    // The table's words that start with `prefix` (UTF-8): [first, last).
    std::pair<quint32, quint32> PrefixRange(const QByteArray& prefix) const;
    QByteArrayView WordAt(quint32 word) const;

    int m_recordCount = 0;
    // Folded words in sorted order, UTF-8, back to back; word i is
    // [m_wordStart[i], m_wordStart[i + 1]).
    QByteArray m_wordText;
    std::vector<quint32> m_wordStart;
    // Word i's postings are [m_postingStart[i], m_postingStart[i + 1]) of m_postings; a posting
    // is record << 1, with bit 0 set when the word is in the record's name.
    std::vector<quint32> m_postingStart;
    std::vector<quint32> m_postings;
    // The words of record r's name in order, as word numbers: [m_nameStart[r], m_nameStart[r+1]).
    std::vector<quint32> m_nameStart;
    std::vector<quint32> m_nameWords;
};
