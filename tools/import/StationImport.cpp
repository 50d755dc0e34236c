#include "tools/import/StationImport.h"

#include "app/AnsiText.h"
#include "hosted/MediaPlayer.h"
#include "hosted/Playlist.h"
#include "radio/StationIds.h"
#include "tools/import/StationInput.h"

#include <QBuffer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLocale>
#include <QUrl>
#include <algorithm>

namespace {

constexpr char kOtherCategory[] = "Other";
constexpr qsizetype kProblemTextCharacters = 200;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A JSON number, true, false or null: what a scalar element of the list may be.
bool IsJsonScalar(QByteArrayView text)
{
    if (text == "true" || text == "false" || text == "null")
        return true;
    qsizetype i = 0;
    const auto digits = [&] {
        const qsizetype start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i > start;
    };
    if (i < text.size() && text[i] == '-')
        ++i;
    if (i < text.size() && text[i] == '0')
        ++i;
    else if (!digits())
        return false;
    if (i < text.size() && text[i] == '.' && (++i, !digits()))
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (!digits())
            return false;
    }
    return i == text.size();
}

bool IsEmptyObject(const QByteArray& bytes)
{
    return bytes.size() >= 2 && bytes.front() == '{' && bytes.back() == '}' &&
           std::all_of(bytes.begin() + 1, bytes.end() - 1, IsSpace);
}

int LinesBefore(const QByteArray& bytes, qsizetype offset)
{
    offset = std::clamp<qsizetype>(offset, 0, bytes.size());
    return int(std::count(bytes.constData(), bytes.constData() + offset, '\n'));
}

// The first line numbers and bytes skipped at the start of a list: a byte-order mark and white
// space. The first line's number, or nothing when the list holds nothing else.
std::optional<int> SkipToContent(QIODevice& input)
{
    if (input.peek(3) == kUtf8ByteOrderMark)
        input.skip(3);
    int line = 1;
    for (;;) {
        const QByteArray chunk = input.peek(64 * 1024);
        if (chunk.isEmpty())
            return std::nullopt;
        const auto content = std::find_if_not(chunk.begin(), chunk.end(), IsSpace);
        line += int(std::count(chunk.begin(), content, '\n'));
        input.skip(content - chunk.begin());
        if (content != chunk.end())
            return line;
    }
}

QString Text(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toDouble());
    return QString();
}

// The name people use for a station's country: the directory's `country` holds formal names
// ("The Russian Federation", sorted under T), so the short name of its ISO code comes first.
QString CountryName(const QJsonObject& object)
{
    const QString code = Text(object, "countrycode").trimmed().toUpper();
    if (code.size() == 2) {
        const QLocale::Territory territory = QLocale::codeToTerritory(code);
        if (territory != QLocale::AnyTerritory)
            return QLocale::territoryToString(territory);
    }
    return Text(object, "country");
}

// The address the player would take, or nothing.
std::optional<QString> UsableAddress(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    return MediaPlayer::CleanStreamAddress(QString::fromLatin1(url.toEncoded()));
}

QByteArray Page(const QString& title, const QString& text)
{
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
                          "</head>\n<body style=\"font-family: sans-serif; margin: 1em\">"
                          "<h1>%1</h1>\n<p>%2</p></body></html>\n")
        .arg(title.toHtmlEscaped(), text.toHtmlEscaped())
        .toUtf8();
}

} // namespace

QString CleanCatalogueLine(const QString& text)
{
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : text) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Other_Format ||
            category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
            clean += QLatin1Char(' ');
        else if (c == QLatin1Char('#'))
            clean += QChar(0xFF03);
        else
            clean += c;
    }
    return clean.simplified();
}

// The stations of a playlist as its reader hands them over.
class StationImport::PlaylistSink : public PlaylistItemSink
{
public:
    PlaylistSink(StationImport& import, const QString& source)
        : m_import(import), m_source(source), m_category(QFileInfo(source).completeBaseName())
    {
    }

    void Take(PlaylistItem item) override
    {
        // A playlist lists an address once: a repeat within it is no repeat across lists.
        if (m_import.m_addresses.value(item.address, -1) == m_import.m_lists)
            return;
        Station station;
        station.address = item.address;
        station.name = item.title.isEmpty() ? item.address : item.title;
        station.category = item.group.isEmpty() ? m_category : item.group;
        station.infoText = item.address;
        m_import.Add(std::move(station), m_source, item.line, item.title.isEmpty());
    }
    void Refuse(RefusedPlaylistEntry entry) override
    {
        m_import.Problem(m_source, entry.line,
                         m_import.KeepsProblemText()
                             ? QStringLiteral("no stream address the player takes: ") +
                                   entry.text.left(kProblemTextCharacters)
                             : QString());
    }
    bool Full() const override { return m_import.Full(); }

private:
    StationImport& m_import;
    const QString& m_source;
    QString m_category;
};

bool StationImport::Read(const QByteArray& bytes, const QString& source)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return Read(buffer, source);
}

bool StationImport::Read(QIODevice& device, const QString& source)
{
    const Mark mark = MarkNow();
    BoundedInput input(device, kMaxInputBytes);
    if (const std::optional<int> firstLine = SkipToContent(input)) {
        const QByteArray head = input.peek(16);
        if (head.startsWith('{') ||
            (head.startsWith('[') && !head.startsWith("[playlist]") &&
             !head.startsWith("[Playlist]") && !head.startsWith("[PLAYLIST]")))
            ReadJson(input, source, *firstLine, mark);
        else
            ReadPlaylist(input, source, *firstLine, mark);
    } else {
        Problem(source, 1, QStringLiteral("neither a station directory's JSON nor a playlist"));
    }
    ++m_lists;
    if (input.TooLarge()) {
        Rollback(mark);
        return false;
    }
    return true;
}

void StationImport::ReadJson(QIODevice& device, const QString& source, int firstLine,
                             const Mark& mark)
{
    JsonElements elements(device, firstLine, kMaxEntryBytes);
    JsonElements::Element element;
    const auto notJson = [&](int line, const QString& what) {
        // A list that is not JSON after all adds nothing, as it never did.
        Rollback(mark);
        Problem(source, line, QStringLiteral("not JSON: ") + what);
    };
    // The most popular first: within a country the tree and the search's ties keep this order.
    std::vector<RankedStation> ranked;
    const size_t firstProblem = m_problems.size();
    const auto addRanked = [&] {
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const RankedStation& a, const RankedStation& b) {
                             return a.votes != b.votes ? a.votes > b.votes : a.clicks > b.clicks;
                         });
        for (RankedStation& entry : ranked) {
            if (Full())
                break;
            Add(std::move(entry.station), source, entry.line);
        }
        // Problems are told in the order of the file, whatever the order of popularity.
        const auto lineOf = [&source](const QString& problem) {
            return QStringView(problem)
                .sliced(source.size() + 1)
                .split(QLatin1Char(':'))
                .front()
                .toInt();
        };
        std::stable_sort(m_problems.begin() + qsizetype(firstProblem), m_problems.end(),
                         [&](const QString& a, const QString& b) { return lineOf(a) < lineOf(b); });
    };
    bool first = true;
    // The kept ones and the ones waiting for their rank together stay within the bound.
    while (!Full() && m_stations.size() + ranked.size() <= size_t(kMaxStations)) {
        const JsonElements::Result result = elements.Next(element);
        if (result == JsonElements::Result::End)
            return addRanked();
        if (result == JsonElements::Result::Error)
            return notJson(elements.ErrorLine(), elements.Error());
        // An empty object is as far from a station as it gets, and quick to tell.
        if (IsEmptyObject(element.bytes)) {
            first = false;
            Problem(source, element.line, QStringLiteral("a station without a name"));
            continue;
        }
        if (!element.bytes.startsWith('{')) {
            // A directory's answer is objects; a list that starts otherwise is not one, and
            // is not read on (a file of a million numbers ends here).
            if (first) {
                Problem(source, element.line, QStringLiteral("not a list of station objects"));
                return;
            }
            if (!element.overlong && !IsJsonScalar(element.bytes)) {
                QJsonParseError error;
                QJsonDocument::fromJson('[' + element.bytes + ']', &error);
                if (error.error != QJsonParseError::NoError)
                    return notJson(element.line + LinesBefore(element.bytes, error.offset - 1),
                                   error.errorString());
            }
            Problem(source, element.line, QStringLiteral("not a station object"));
            continue;
        }
        first = false;
        if (element.overlong) {
            Problem(source, element.line,
                    QStringLiteral("a station entry longer than %1 bytes").arg(kMaxEntryBytes));
            continue;
        }
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(element.bytes, &error);
        if (error.error != QJsonParseError::NoError)
            return notJson(element.line + LinesBefore(element.bytes, error.offset),
                           error.errorString());
        if (std::optional<RankedStation> station =
                ReadJsonStation(document.object(), source, element.line))
            ranked.push_back(std::move(*station));
    }
    addRanked();
}

std::optional<StationImport::RankedStation>
StationImport::ReadJsonStation(const QJsonObject& object, const QString& source, int line)
{
    const QJsonValue checked = object.value(QLatin1String("lastcheckok"));
    if ((checked.isDouble() && checked.toInt() == 0) || (checked.isBool() && !checked.toBool())) {
        ++m_failedChecks;
        return std::nullopt;
    }
    Station station;
    station.name = CleanCatalogueLine(Text(object, "name"));
    // Told at once: a list of a million empty objects ends up here a million times.
    if (station.name.isEmpty()) {
        Problem(source, line, QStringLiteral("a station without a name"));
        return std::nullopt;
    }
    station.category = CountryName(object);
    station.address = Text(object, "url_resolved");
    if (station.address.trimmed().isEmpty())
        station.address = Text(object, "url");
    QStringList info;
    QString format = Text(object, "codec").trimmed();
    const int bitrate = object.value(QLatin1String("bitrate")).toInt();
    if (bitrate > 0)
        format += (format.isEmpty() ? QString() : QStringLiteral(" ")) + QString::number(bitrate) +
                  QStringLiteral(" kbit/s");
    for (const QString& part :
         {format, Text(object, "tags").replace(QLatin1Char(','), QStringLiteral(", ")),
          Text(object, "language").replace(QLatin1Char(','), QStringLiteral(", ")),
          Text(object, "homepage")}) {
        if (!part.trimmed().isEmpty())
            info.append(part.trimmed());
    }
    station.infoText = info.join(QStringLiteral(" | "));
    return RankedStation{std::move(station), line,
                         qint64(object.value(QLatin1String("votes")).toDouble()),
                         qint64(object.value(QLatin1String("clickcount")).toDouble())};
}

void StationImport::ReadPlaylist(QIODevice& device, const QString& source, int firstLine,
                                 const Mark& mark)
{
    // The start decides the kind; an HLS tag further down is found while reading.
    const QByteArray head = device.peek(64 * 1024);
    const PlaylistKind kind = DetectPlaylist(QByteArray(), head);
    switch (kind) {
    case PlaylistKind::NotAPlaylist:
        Problem(source, 1, QStringLiteral("neither a station directory's JSON nor a playlist"));
        return;
    case PlaylistKind::Hls:
        Problem(source, 1, QStringLiteral("an HLS stream, not a station list"));
        return;
    case PlaylistKind::M3u:
    case PlaylistKind::Pls:
        ReadLines(device, int(kind), source, firstLine, mark);
        return;
    case PlaylistKind::Xspf: {
        PlaylistSink sink(*this, source);
        XmlStretchBound xml(device, kMaxXmlStretchBytes);
        if (const std::optional<PlaylistStop> stop = ReadXspfItems(xml, firstLine, QString(), sink))
            Problem(source, stop->line,
                    QStringLiteral("XSPF read no further: ") +
                        (xml.Exceeded() ? QStringLiteral("a text or tag longer than %1 bytes")
                                              .arg(kMaxXmlStretchBytes)
                                        : stop->reason));
        return;
    }
    case PlaylistKind::Asx: {
        const QByteArray bytes = device.read(kMaxAsxBytes + 1);
        if (bytes.size() > kMaxAsxBytes) {
            Problem(source, firstLine,
                    QStringLiteral("an ASX list larger than %1 bytes").arg(kMaxAsxBytes));
            return;
        }
        PlaylistSink sink(*this, source);
        ReadPlaylistItems(kind, bytes, QString(), sink);
        return;
    }
    }
}

void StationImport::ReadLines(QIODevice& device, int kind, const QString& source, int firstLine,
                              const Mark& mark)
{
    // HLS tags only turn a list that begins "#EXTM3U" into a stream.
    const bool mayBeHls = kind == int(PlaylistKind::M3u) && device.peek(7) == "#EXTM3U";
    PlaylistSink sink(*this, source);
    PlaylistLineReader reader(PlaylistKind(kind), QString(), sink, kMaxStations);
    LineInput lines(device, firstLine, kMaxLineBytes);
    LineInput::Line line;
    while (!Full() && lines.Next(line)) {
        if (mayBeHls && line.text.startsWith("#EXT-X-")) {
            Rollback(mark);
            Problem(source, 1, QStringLiteral("an HLS stream, not a station list"));
            return;
        }
        if (line.overlong) {
            Problem(source, line.number,
                    QStringLiteral("a line longer than %1 bytes: ").arg(kMaxLineBytes) +
                        QString::fromUtf8(line.text.left(kProblemTextCharacters)));
            continue;
        }
        reader.Read(line.text, line.number);
    }
    reader.Finish();
}

void StationImport::Add(Station station, const QString& source, int line, bool fromAddress)
{
    if (m_full)
        return;
    station.name = CleanCatalogueLine(station.name);
    station.category = CleanCatalogueLine(station.category);
    station.infoText = CleanCatalogueLine(station.infoText);
    if (station.category.isEmpty())
        station.category = QString::fromLatin1(kOtherCategory);
    if (station.name.isEmpty()) {
        Problem(source, line, QStringLiteral("a station without a name"));
        return;
    }
    const std::optional<QString> address = UsableAddress(station.address);
    if (!address) {
        Problem(source, line,
                QStringLiteral("no stream address the player takes: ") +
                    CleanCatalogueLine(station.address).left(kProblemTextCharacters));
        return;
    }
    if (address->size() > kMaxAddressBytes) {
        Problem(source, line,
                QStringLiteral("an address longer than %1 bytes: ").arg(kMaxAddressBytes) +
                    address->left(kProblemTextCharacters));
        return;
    }
    if (station.name.size() > kMaxNameCharacters) {
        // A name made of the address is only a label: cut, it still names the station.
        if (!fromAddress) {
            Problem(source, line,
                    QStringLiteral("a name longer than %1 characters: ").arg(kMaxNameCharacters) +
                        station.name.left(kProblemTextCharacters));
            return;
        }
        station.name.truncate(kMaxNameCharacters);
        station.name = station.name.trimmed();
    }
    if (m_addresses.contains(*address)) {
        ++m_duplicates;
        return;
    }
    if (m_stations.size() >= size_t(kMaxStations)) {
        m_full = true;
        Problem(source, line,
                QStringLiteral("more than %1 stations: the rest is left out").arg(kMaxStations));
        return;
    }
    m_addresses.insert(*address, m_lists);
    station.address = *address;
    m_stations.push_back(std::move(station));
}

void StationImport::Problem(const QString& source, int line, const QString& what)
{
    ++m_problemCount;
    if (m_problems.size() < size_t(kMaxProblemsKept))
        m_problems.push_back(source + QLatin1Char(':') + QString::number(line) +
                             QStringLiteral(": ") + what);
}

StationImport::Mark StationImport::MarkNow() const
{
    return {m_stations.size(), m_problems.size(), m_problemCount,
            m_duplicates,      m_failedChecks,    m_full};
}

void StationImport::Rollback(const Mark& mark)
{
    for (size_t i = mark.stations; i < m_stations.size(); ++i)
        m_addresses.remove(m_stations[i].address);
    m_stations.resize(mark.stations);
    m_problems.resize(mark.problemsKept);
    m_problemCount = mark.problems;
    m_duplicates = mark.duplicates;
    m_failedChecks = mark.failedChecks;
    m_full = mark.full;
}

QByteArray StationImport::CatalogueText() const
{
    QByteArray text(kUtf8ByteOrderMark);
    text += QByteArray::number(qulonglong(m_stations.size())) + '\n';
    for (size_t i = 0; i < m_stations.size(); ++i) {
        const Station& station = m_stations[i];
        text += station.category.toUtf8() + '\n' + station.infoText.toUtf8() + '\n' +
                QByteArray::number(qulonglong(i + 1)) + '\n' + station.name.toUtf8() + '\n';
    }
    return text;
}

std::vector<std::pair<QString, QByteArray>>
StationImport::ContentFiles(const QByteArray& versionText) const
{
    std::vector<std::pair<QString, QByteArray>> files;
    files.reserve(m_stations.size() + 10);
    files.emplace_back(QStringLiteral("Wavelark/freechannels/package0.rd"),
                       QByteArray(qsizetype(m_stations.size()), '1'));
    for (size_t i = 0; i < m_stations.size(); ++i)
        files.emplace_back(QStringLiteral("Wavelark/freechannels/package0/%1.rd").arg(i + 1),
                           m_stations[i].address.toUtf8() + "\r\n");
    files.emplace_back(QStringLiteral("wavelark/channelsplus/versionplus.txt"),
                       versionText + "\r\n");
    for (const StationPage& page : kStationPages) {
        const QString name = QString::fromLatin1(page.name);
        files.emplace_back(QStringLiteral("wavelark/") + name,
                           Page(QStringLiteral("Wavelark"),
                                QStringLiteral("%1 stations, imported from station lists.")
                                    .arg(m_stations.size())));
    }
    return files;
}
