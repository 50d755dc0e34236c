#include "hosted/Playlist.h"

#include "hosted/MediaPlayer.h"
#include "hosted/PlaylistText.h"

#include <QSet>
#include <QUrl>
#include <QXmlStreamReader>
#include <algorithm>
#include <iterator>
#include <limits>
#include <map>
#include <optional>

using PlaylistText::Body;
using PlaylistText::StartsWithNoCase;

namespace {

// One line of a playlist's body and its number in the file (LF counts lines; a CR alone ends a
// line too, as old Mac files have it).
struct Line
{
    QByteArrayView text;
    int number = 0;
};

QList<Line> Lines(QByteArrayView body, int firstLine)
{
    QList<Line> lines;
    int number = firstLine;
    qsizetype start = 0;
    while (start <= body.size()) {
        qsizetype end = start;
        while (end < body.size() && body[end] != '\n' && body[end] != '\r')
            ++end;
        lines.append({body.sliced(start, end - start).trimmed(), number});
        if (end < body.size() && body[end] == '\r' && end + 1 < body.size() &&
            body[end + 1] == '\n')
            ++end;
        ++number;
        start = end + 1;
    }
    return lines;
}

} // namespace

// Named, not anonymous: PlaylistLineReader::State holds them.
namespace PlaylistReading {

// Resolves and checks each entry's address and hands it on.
class EntryCollector
{
public:
    EntryCollector(const QString& playlistAddress, PlaylistItemSink& sink)
        : m_base(playlistAddress.trimmed(), QUrl::StrictMode),
          m_secure(m_base.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0),
          m_sink(sink)
    {
    }

    bool Full() const { return m_sink.Full(); }

    void Add(const QString& text, int line, const QString& title = QString(),
             const QString& group = QString())
    {
        if (Full())
            return;
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty())
            return;
        // With nothing to resolve against, an entry is an absolute stream address or nothing:
        // junk is turned away before it is parsed (a list may hold a million junk lines).
        if (!m_base.isValid() && !MediaPlayer::HasStreamScheme(trimmed)) {
            m_sink.Refuse({trimmed, line});
            return;
        }
        QUrl url(trimmed, QUrl::StrictMode);
        if (url.isValid() && url.isRelative() && m_base.isValid())
            url = m_base.resolved(url);
        std::optional<QString> clean =
            url.isValid() ? MediaPlayer::CleanStreamAddress(QString::fromLatin1(url.toEncoded()))
                          : std::nullopt;
        // What came over https does not send the player to plain http, as a redirect may not.
        if (clean && m_secure &&
            MediaPlayer::IsDowngradingRedirect(m_base.toEncoded().constData(),
                                               clean->toLatin1().constData()))
            clean.reset();
        if (!clean) {
            m_sink.Refuse({trimmed, line});
            return;
        }
        m_sink.Take({*clean, title.simplified(), group.simplified(), line});
    }

private:
    QUrl m_base;
    bool m_secure;
    PlaylistItemSink& m_sink;
};

// The sink behind ReadPlaylistItems: at most `limit` entries, a repeated address once.
class ItemList : public PlaylistItemSink
{
public:
    explicit ItemList(int limit) : m_limit(limit) {}

    void Take(PlaylistItem item) override
    {
        if (Full() || m_seen.contains(item.address))
            return;
        m_seen.insert(item.address);
        m_result.items.push_back(std::move(item));
    }
    void Refuse(RefusedPlaylistEntry entry) override
    {
        m_result.refused.push_back(std::move(entry));
    }
    bool Full() const override { return int(m_result.items.size()) >= m_limit; }

    PlaylistItems Take() { return std::move(m_result); }

private:
    int m_limit;
    QSet<QString> m_seen;
    PlaylistItems m_result;
};

} // namespace PlaylistReading

namespace {

using PlaylistReading::EntryCollector;
using PlaylistReading::ItemList;

QString Decode(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
}

// The N of a "FileN=" or "TitleN=" line, and where its value starts; nothing for other lines.
std::optional<std::pair<quint32, qsizetype>> NumberedKey(QByteArrayView line, QByteArrayView key)
{
    if (!StartsWithNoCase(line, key))
        return std::nullopt;
    const qsizetype equals = line.indexOf('=');
    if (equals < key.size() + 1 || equals > key.size() + 9)
        return std::nullopt;
    const QByteArrayView number = line.sliced(key.size(), equals - key.size()).trimmed();
    bool ok = false;
    const quint32 n = QByteArray(number.data(), number.size()).toUInt(&ok);
    if (!ok)
        return std::nullopt;
    return std::pair{n, equals + 1};
}

// The value of `attribute="..."` inside an #EXTINF line's attribute list.
QString ExtinfAttribute(QByteArrayView attributes, QByteArrayView attribute)
{
    const QByteArray key = QByteArray(attribute.data(), attribute.size()) + "=\"";
    const qsizetype at = QByteArray(attributes.data(), attributes.size()).indexOf(key);
    if (at < 0)
        return QString();
    const qsizetype start = at + key.size();
    const qsizetype end = attributes.indexOf('"', start);
    return end < 0 ? QString() : Decode(attributes.sliced(start, end - start));
}

QString DecodeEntities(QString text)
{
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&apos;"), QLatin1String("'"));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text;
}

bool IsNameByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == ':';
}

// ASX files in the wild are rarely well-formed XML (upper-case tags, unquoted attributes, bare
// ampersands), so they are scanned tag by tag: the href of every <ref> and <entryref>.
void ReadAsx(QByteArrayView body, EntryCollector& out)
{
    qsizetype at = 0;
    // Lines are counted on from the last tag, never again from the start.
    qsizetype countedTo = 0;
    int line = 1;
    const auto lineOf = [&](qsizetype offset) {
        offset = std::min(offset, body.size());
        line += int(std::count(body.begin() + countedTo, body.begin() + offset, '\n'));
        countedTo = offset;
        return line;
    };
    while (!out.Full()) {
        at = body.indexOf('<', at);
        if (at < 0)
            break;
        ++at;
        qsizetype nameEnd = at;
        while (nameEnd < body.size() && IsNameByte(body[nameEnd]))
            ++nameEnd;
        const QByteArrayView name = body.sliced(at, nameEnd - at);
        const qsizetype tagEnd = body.indexOf('>', nameEnd);
        const QByteArrayView tag =
            body.sliced(nameEnd, (tagEnd < 0 ? body.size() : tagEnd) - nameEnd);
        at = tagEnd < 0 ? body.size() : tagEnd;
        if (name.compare("ref", Qt::CaseInsensitive) != 0 &&
            name.compare("entryref", Qt::CaseInsensitive) != 0)
            continue;
        // Attributes: name = "value" | 'value' | value.
        qsizetype i = 0;
        while (i < tag.size()) {
            while (i < tag.size() && !IsNameByte(tag[i]))
                ++i;
            const qsizetype attributeStart = i;
            while (i < tag.size() && IsNameByte(tag[i]))
                ++i;
            const QByteArrayView attribute = tag.sliced(attributeStart, i - attributeStart);
            while (i < tag.size() &&
                   (tag[i] == ' ' || tag[i] == '\t' || tag[i] == '\r' || tag[i] == '\n'))
                ++i;
            if (i >= tag.size() || tag[i] != '=')
                continue;
            ++i;
            while (i < tag.size() &&
                   (tag[i] == ' ' || tag[i] == '\t' || tag[i] == '\r' || tag[i] == '\n'))
                ++i;
            qsizetype valueStart = i;
            qsizetype valueEnd = i;
            if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
                const char quote = tag[i];
                valueStart = i + 1;
                valueEnd = tag.indexOf(quote, valueStart);
                if (valueEnd < 0)
                    valueEnd = tag.size();
                i = std::min(tag.size(), valueEnd + 1);
            } else {
                while (valueEnd < tag.size() && tag[valueEnd] != ' ' && tag[valueEnd] != '\t' &&
                       tag[valueEnd] != '\r' && tag[valueEnd] != '\n')
                    ++valueEnd;
                i = valueEnd;
                // <ref href=http://host/x/> ends the tag, not the address.
                if (valueEnd == tag.size() && valueEnd > valueStart && tag[valueEnd - 1] == '/')
                    --valueEnd;
            }
            if (attribute.compare("href", Qt::CaseInsensitive) == 0) {
                out.Add(DecodeEntities(Decode(tag.sliced(valueStart, valueEnd - valueStart))),
                        lineOf(at));
                break;
            }
        }
    }
}

// XSPF is XML proper: the <location> and <title> of every <track>. Their text is gathered
// here rather than by readElementText, which would follow child elements however deep.
std::optional<PlaylistStop> ReadXspf(QXmlStreamReader& xml, int firstLine, EntryCollector& out)
{
    const auto lineNow = [&] { return firstLine - 1 + int(xml.lineNumber()); };
    enum class Field { None, Location, Title };
    int depth = 0;
    int trackDepth = 0;
    Field field = Field::None;
    int fieldDepth = 0;
    QString text;
    QString location;
    QString title;
    int line = 0;
    while (!xml.atEnd() && !out.Full()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        // Real XSPF files declare no entities; one that does is not read on.
        if (token == QXmlStreamReader::DTD)
            return PlaylistStop{lineNow(), QStringLiteral("declares a DTD")};
        if (token == QXmlStreamReader::StartElement) {
            // The reader keeps every open element: a file nested a million deep must end early.
            if (++depth > kMaxXspfDepth)
                return PlaylistStop{lineNow(), QStringLiteral("elements nested deeper than %1")
                                                   .arg(kMaxXspfDepth)};
            if (field != Field::None)
                continue;
            if (xml.name() == QLatin1String("track")) {
                if (++trackDepth == 1) {
                    location.clear();
                    title.clear();
                }
            } else if (trackDepth > 0 && (xml.name() == QLatin1String("location") ||
                                          xml.name() == QLatin1String("title"))) {
                field = xml.name() == QLatin1String("location") ? Field::Location : Field::Title;
                fieldDepth = depth;
                text.clear();
                if (field == Field::Location)
                    line = lineNow();
            }
        } else if ((token == QXmlStreamReader::Characters ||
                    token == QXmlStreamReader::EntityReference) &&
                   field != Field::None && depth == fieldDepth) {
            // Enough to tell an address the player takes from one far too long for it.
            if (text.size() <= kMaxPlaylistBytes)
                text += xml.text().left(kMaxPlaylistBytes + 1 - text.size());
        } else if (token == QXmlStreamReader::EndElement) {
            if (field != Field::None && depth == fieldDepth) {
                if (field == Field::Title)
                    title = text;
                else if (location.isEmpty())
                    location = text;
                field = Field::None;
            } else if (field == Field::None && xml.name() == QLatin1String("track") &&
                       trackDepth > 0 && --trackDepth == 0 && !location.isEmpty()) {
                out.Add(location, line, title);
            }
            --depth;
        }
    }
    if (xml.hasError())
        return PlaylistStop{lineNow(), QStringLiteral("not well-formed XML: ") + xml.errorString()};
    return std::nullopt;
}

} // namespace

namespace PlaylistReading {

// The lines of a PLS or M3U file, read as they come.
class LineReader
{
public:
    LineReader(PlaylistKind kind, EntryCollector& out, int limit)
        : m_kind(kind), m_out(out), m_limit(size_t(std::max(limit, 0)))
    {
    }

    void Read(QByteArrayView raw, int number)
    {
        const QByteArrayView line = raw.trimmed();
        if (m_kind == PlaylistKind::Pls)
            ReadPls(line, number);
        else
            ReadM3u(line, number);
    }

    void Finish()
    {
        if (m_kind != PlaylistKind::Pls)
            return;
        for (const auto& [n, address] : m_files) {
            if (m_out.Full())
                break;
            const auto title = m_titles.find(n);
            m_out.Add(Decode(address.first), address.second,
                      title != m_titles.end() ? Decode(title->second) : QString());
        }
        m_files.clear();
        m_titles.clear();
    }

private:
    void ReadPls(QByteArrayView line, int number)
    {
        // FileN=address; entries in the order of N, the first of a repeated N wins.
        if (const auto file = NumberedKey(line, "file")) {
            m_files.emplace(file->first, std::pair{line.sliced(file->second).toByteArray(), number});
            // Only the lowest numbers can be among the entries kept.
            if (m_files.size() > m_limit * 2)
                m_files.erase(std::prev(m_files.end()));
        } else if (const auto title = NumberedKey(line, "title")) {
            m_titles.emplace(title->first, line.sliced(title->second).toByteArray());
            if (m_titles.size() > m_limit * 2)
                m_titles.erase(std::prev(m_titles.end()));
        }
    }

    void ReadM3u(QByteArrayView line, int number)
    {
        // "#EXTINF:-1 group-title="Jazz",Station name" names the address on the next line.
        if (m_out.Full())
            return;
        if (StartsWithNoCase(line, "#EXTINF:")) {
            const QByteArrayView info = line.sliced(8);
            // The title follows the first comma outside the quoted attribute values.
            bool quoted = false;
            qsizetype comma = -1;
            for (qsizetype i = 0; i < info.size() && comma < 0; ++i) {
                if (info[i] == '"')
                    quoted = !quoted;
                else if (info[i] == ',' && !quoted)
                    comma = i;
            }
            m_title = comma < 0 ? QString() : Decode(info.sliced(comma + 1));
            m_group = ExtinfAttribute(comma < 0 ? info : info.first(comma), "group-title");
            return;
        }
        if (!line.isEmpty() && !line.startsWith('#')) {
            m_out.Add(Decode(line), number, m_title, m_group);
            m_title.clear();
            m_group.clear();
        }
    }

    PlaylistKind m_kind;
    EntryCollector& m_out;
    size_t m_limit;
    QString m_title;
    QString m_group;
    std::map<quint32, std::pair<QByteArray, int>> m_files;
    std::map<quint32, QByteArray> m_titles;
};

} // namespace PlaylistReading

namespace {

using PlaylistReading::LineReader;

void ReadItems(PlaylistKind kind, const QByteArray& content, EntryCollector& out, int plsLimit)
{
    const QByteArrayView body = Body(content);
    // Body() drops a byte-order mark and leading white space; lines keep their numbers.
    const int firstLine = 1 + int(std::count(content.constData(), body.data(), '\n'));
    switch (kind) {
    case PlaylistKind::Pls:
    case PlaylistKind::M3u: {
        LineReader reader(kind, out, plsLimit);
        for (const Line& line : Lines(body, firstLine)) {
            if (out.Full())
                break;
            reader.Read(line.text, line.number);
        }
        reader.Finish();
        break;
    }
    case PlaylistKind::Asx:
        ReadAsx(body, out);
        break;
    case PlaylistKind::Xspf: {
        QXmlStreamReader xml(QByteArray(body.data(), body.size()));
        ReadXspf(xml, firstLine, out);
        break;
    }
    case PlaylistKind::Hls:
    case PlaylistKind::NotAPlaylist:
        break;
    }
}

} // namespace

PlaylistItems ReadPlaylistItems(PlaylistKind kind, const QByteArray& content,
                                const QString& playlistAddress, int maxEntries)
{
    ItemList list(maxEntries);
    EntryCollector out(playlistAddress, list);
    ReadItems(kind, content, out, maxEntries);
    return list.Take();
}

void ReadPlaylistItems(PlaylistKind kind, const QByteArray& content,
                       const QString& playlistAddress, PlaylistItemSink& sink)
{
    EntryCollector out(playlistAddress, sink);
    ReadItems(kind, content, out, std::numeric_limits<int>::max());
}

struct PlaylistLineReader::State
{
    State(PlaylistKind kind, const QString& playlistAddress, PlaylistItemSink& sink,
          int maxEntries)
        : out(playlistAddress, sink), reader(kind, out, maxEntries)
    {
    }
    EntryCollector out;
    LineReader reader;
};

PlaylistLineReader::PlaylistLineReader(PlaylistKind kind, const QString& playlistAddress,
                                       PlaylistItemSink& sink, int maxEntries)
    : m_state(std::make_unique<State>(kind, playlistAddress, sink, maxEntries))
{
}

PlaylistLineReader::~PlaylistLineReader() = default;

void PlaylistLineReader::Read(QByteArrayView line, int number)
{
    m_state->reader.Read(line, number);
}

void PlaylistLineReader::Finish()
{
    m_state->reader.Finish();
}

std::optional<PlaylistStop> ReadXspfItems(QIODevice& device, int firstLine,
                                          const QString& playlistAddress, PlaylistItemSink& sink)
{
    EntryCollector out(playlistAddress, sink);
    QXmlStreamReader xml(&device);
    return ReadXspf(xml, firstLine, out);
}

QStringList PlaylistEntries(PlaylistKind kind, const QByteArray& content,
                            const QString& playlistAddress)
{
    QStringList entries;
    for (const PlaylistItem& item :
         ReadPlaylistItems(kind, content, playlistAddress, kMaxPlaylistEntries).items)
        entries.append(item.address);
    return entries;
}

Playlist ReadPlaylist(const QByteArray& contentType, const QByteArray& content,
                      const QString& playlistAddress)
{
    Playlist playlist;
    playlist.kind = DetectPlaylist(contentType, content);
    playlist.entries = PlaylistEntries(playlist.kind, content, playlistAddress);
    return playlist;
}
