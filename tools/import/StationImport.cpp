#include "tools/import/StationImport.h"

#include "app/AnsiText.h"
#include "hosted/MediaPlayer.h"
#include "hosted/Playlist.h"
#include "radio/StationIds.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLocale>
#include <QUrl>
#include <algorithm>

namespace {

constexpr char kOtherCategory[] = "Other";

int LineAt(const QByteArray& bytes, qsizetype offset)
{
    offset = std::clamp<qsizetype>(offset, 0, bytes.size());
    return 1 + int(std::count(bytes.constData(), bytes.constData() + offset, '\n'));
}

// The line on which each element of the top-level JSON array starts, in order: the directory's
// answer is one array of station objects, and a problem is best reported where its object is.
std::vector<int> TopLevelElementLines(const QByteArray& bytes)
{
    std::vector<int> lines;
    int depth = 0;
    int line = 1;
    bool inString = false;
    bool escaped = false;
    bool expectElement = false;
    for (const char c : bytes) {
        if (c == '\n')
            ++line;
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (depth == 1 && expectElement) {
            lines.push_back(line);
            expectElement = false;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth == 1)
                expectElement = c == '[';
        } else if (c == ']' || c == '}') {
            --depth;
        } else if (c == ',' && depth == 1) {
            expectElement = true;
        }
    }
    return lines;
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

void StationImport::Read(const QByteArray& bytes, const QString& source)
{
    QByteArrayView body(bytes);
    if (body.startsWith(kUtf8ByteOrderMark))
        body = body.sliced(3);
    body = body.trimmed();
    if (body.startsWith('{') || (body.startsWith('[') && !body.startsWith("[playlist]") &&
                                 !body.startsWith("[Playlist]") && !body.startsWith("[PLAYLIST]")))
        ReadJson(bytes, source);
    else
        ReadPlaylist(bytes, source);
}

void StationImport::ReadJson(const QByteArray& bytes, const QString& source)
{
    QByteArray json = bytes;
    if (json.startsWith(kUtf8ByteOrderMark))
        json.replace(0, 3, "   ");
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        Problem(source, LineAt(json, error.offset),
                QStringLiteral("not JSON: ") + error.errorString());
        return;
    }
    // The directory answers an array; a single station object is taken as a list of one.
    QJsonArray stations = document.array();
    if (document.isObject())
        stations.append(document.object());
    const std::vector<int> lines = TopLevelElementLines(json);
    // The most popular first: within a country the tree and the search's ties keep this order.
    struct Ranked
    {
        Station station;
        int line;
        qint64 votes;
        qint64 clicks;
    };
    std::vector<Ranked> ranked;
    const size_t firstProblem = m_problems.size();
    for (qsizetype i = 0; i < stations.size(); ++i) {
        const int line = size_t(i) < lines.size() ? lines[size_t(i)] : 1;
        if (!stations[i].isObject()) {
            Problem(source, line, QStringLiteral("not a station object"));
            continue;
        }
        const QJsonObject object = stations[i].toObject();
        const QJsonValue checked = object.value(QLatin1String("lastcheckok"));
        if ((checked.isDouble() && checked.toInt() == 0) ||
            (checked.isBool() && !checked.toBool())) {
            ++m_failedChecks;
            continue;
        }
        Station station;
        station.name = Text(object, "name");
        station.category = CountryName(object);
        station.address = Text(object, "url_resolved");
        if (station.address.trimmed().isEmpty())
            station.address = Text(object, "url");
        QStringList info;
        QString format = Text(object, "codec").trimmed();
        const int bitrate = object.value(QLatin1String("bitrate")).toInt();
        if (bitrate > 0)
            format += (format.isEmpty() ? QString() : QStringLiteral(" ")) +
                      QString::number(bitrate) + QStringLiteral(" kbit/s");
        for (const QString& part :
             {format, Text(object, "tags").replace(QLatin1Char(','), QStringLiteral(", ")),
              Text(object, "language").replace(QLatin1Char(','), QStringLiteral(", ")),
              Text(object, "homepage")}) {
            if (!part.trimmed().isEmpty())
                info.append(part.trimmed());
        }
        station.infoText = info.join(QStringLiteral(" | "));
        ranked.push_back({std::move(station), line,
                          qint64(object.value(QLatin1String("votes")).toDouble()),
                          qint64(object.value(QLatin1String("clickcount")).toDouble())});
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        return a.votes != b.votes ? a.votes > b.votes : a.clicks > b.clicks;
    });
    for (Ranked& entry : ranked)
        Add(std::move(entry.station), source, entry.line);
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
}

void StationImport::ReadPlaylist(const QByteArray& bytes, const QString& source)
{
    const PlaylistKind kind = DetectPlaylist(QByteArray(), bytes);
    if (kind == PlaylistKind::NotAPlaylist || kind == PlaylistKind::Hls) {
        Problem(source, 1,
                kind == PlaylistKind::Hls
                    ? QStringLiteral("an HLS stream, not a station list")
                    : QStringLiteral("neither a station directory's JSON nor a playlist"));
        return;
    }
    const QString fileCategory = QFileInfo(source).completeBaseName();
    const PlaylistItems read = ReadPlaylistItems(kind, bytes, QString(), INT_MAX);
    for (const RefusedPlaylistEntry& refused : read.refused)
        Problem(source, refused.line,
                QStringLiteral("no stream address the player takes: ") + refused.text.left(200));
    for (const PlaylistItem& item : read.items) {
        Station station;
        station.address = item.address;
        station.name = item.title.isEmpty() ? item.address : item.title;
        station.category = item.group.isEmpty() ? fileCategory : item.group;
        station.infoText = item.address;
        Add(std::move(station), source, item.line);
    }
}

void StationImport::Add(Station station, const QString& source, int line)
{
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
                    CleanCatalogueLine(station.address).left(200));
        return;
    }
    if (m_addresses.contains(*address)) {
        ++m_duplicates;
        return;
    }
    m_addresses.insert(*address);
    station.address = *address;
    m_stations.push_back(std::move(station));
}

void StationImport::Problem(const QString& source, int line, const QString& what)
{
    m_problems.push_back(source + QLatin1Char(':') + QString::number(line) + QStringLiteral(": ") +
                         what);
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
