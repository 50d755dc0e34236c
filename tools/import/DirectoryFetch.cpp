#include "tools/import/DirectoryFetch.h"

#include "directory/HttpFetch.h"

#include <QCoreApplication>
#include <QDnsLookup>
#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <random>

namespace {

constexpr int kConnectTimeoutMs = 10000;
constexpr int kLookupTimeoutMs = 10000;
constexpr char kSrvName[] = "_api._tcp.radio-browser.info";
constexpr char kAllName[] = "all.api.radio-browser.info";

// The number of records of a page, or -1 when it is not a JSON array.
qsizetype PageRecords(const QByteArray& page)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(page, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return -1;
    return document.array().size();
}

// What lies between a JSON array's brackets.
QByteArray ArrayInside(const QByteArray& page)
{
    const QByteArray trimmed = page.trimmed();
    return trimmed.mid(1, trimmed.size() - 2).trimmed();
}

} // namespace

std::optional<QByteArray> DirectoryFetch::FetchAll(const Settings& settings, QString& failure)
{
    const int pageSize = std::clamp(settings.pageSize, 1, kMaxPageSize);
    const auto say = [&](const QString& line) {
        if (settings.progress)
            settings.progress(line);
    };
    QByteArray list("[");
    qint64 offset = 0;
    for (qsizetype server = 0; server < settings.servers.size();) {
        const QString base = settings.servers[server];
        QUrl url(base);
        url.setPath(url.path().chopped(url.path().endsWith(QLatin1Char('/')) ? 1 : 0) +
                    QStringLiteral("/json/stations"));
        url.setQuery(
            QStringLiteral("hidebroken=true&limit=%1&offset=%2").arg(pageSize).arg(offset));
        FetchLimits limits;
        limits.keptBytes = kMaxPageBytes + 1;
        const FetchResult answer =
            HttpFetch(url.toEncoded(), settings.userAgent,
                      FetchSettings{kConnectTimeoutMs, kAnswerTimeoutMs, 1}, limits);
        QString problem;
        qsizetype records = -1;
        if (!answer.ok)
            problem = answer.error;
        else if (answer.status < 200 || answer.status > 299)
            problem = QStringLiteral("HTTP status %1").arg(answer.status);
        else if (answer.text.size() > kMaxPageBytes)
            problem = QStringLiteral("a page larger than %1 bytes").arg(kMaxPageBytes);
        else if ((records = PageRecords(answer.text)) < 0)
            problem = QStringLiteral("a page that is not a whole JSON array");
        if (!problem.isEmpty()) {
            say(QStringLiteral("%1 left at offset %2: %3").arg(base).arg(offset).arg(problem));
            ++server;
            continue;
        }
        const QByteArray inside = ArrayInside(answer.text);
        if (!inside.isEmpty()) {
            if (list.size() > 1)
                list += ",\n";
            list += inside;
        }
        offset += records;
        say(QStringLiteral("%1 stations so far, from %2").arg(offset).arg(base));
        if (records < pageSize) {
            list += "]\n";
            return list;
        }
    }
    failure = settings.servers.isEmpty()
                  ? QStringLiteral("no server of the station directory found")
                  : QStringLiteral("no server of the station directory delivered the whole list "
                                   "(%1 stations fetched); nothing was changed")
                        .arg(offset);
    return std::nullopt;
}

QStringList DirectoryFetch::DiscoverServers()
{
    // The lookups report through the event loop; the command line has none of its own.
    std::unique_ptr<QCoreApplication> application;
    int argc = 1;
    char name[] = "wavelark-pack";
    char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        application = std::make_unique<QCoreApplication>(argc, argv);

    QStringList servers;
    QDnsLookup srv(QDnsLookup::SRV, QString::fromLatin1(kSrvName));
    QEventLoop loop;
    QObject::connect(&srv, &QDnsLookup::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(kLookupTimeoutMs, &loop, &QEventLoop::quit);
    srv.lookup();
    loop.exec();
    if (srv.isFinished() && srv.error() == QDnsLookup::NoError) {
        for (const QDnsServiceRecord& record : srv.serviceRecords()) {
            QString target = record.target();
            if (target.endsWith(QLatin1Char('.')))
                target.chop(1);
            if (!target.isEmpty())
                servers.append(QStringLiteral("https://") + target);
        }
    }
    if (servers.isEmpty()) {
        const QHostInfo all = QHostInfo::fromName(QString::fromLatin1(kAllName));
        for (const QHostAddress& address : all.addresses()) {
            const QString reverse = QHostInfo::fromName(address.toString()).hostName();
            if (!reverse.isEmpty() && reverse != address.toString())
                servers.append(QStringLiteral("https://") + reverse);
        }
    }
    servers.removeDuplicates();
    std::shuffle(servers.begin(), servers.end(), std::mt19937(std::random_device()()));
    return servers;
}
