#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Fetches the community station directory's whole list of working stations, page by page, as
// one JSON array in the directory's own format (what StationImport reads).
//
// Pages come from `/json/stations?hidebroken=true&limit=L&offset=O` until one holds fewer than
// L records. A server that fails (no connection, no complete answer within the time bound, a
// status other than 2xx, a page cut short, not a JSON array, or past the size bound) is left
// for the next one, which continues from the same offset; each server is tried once.
class DirectoryFetch
{
public:
    // Stations per page: the directory's own upper bound.
    static constexpr int kMaxPageSize = 10000;
    // A page of 10,000 stations is about 15 MB.
    static constexpr int kMaxPageBytes = 64 * 1024 * 1024;
    static constexpr int kAnswerTimeoutMs = 30000;

    struct Settings
    {
        QStringList servers;         // "https://host" or "http://host:port", tried in order
        QByteArray userAgent;        // "Wavelark/3.0"
        int pageSize = kMaxPageSize; // 1..kMaxPageSize
        // One line per event: a page taken, a server left; `final` marks the last of a run.
        std::function<void(const QString& line)> progress;
    };

    // The whole list, or nothing when no server delivered it; `failure` then says why.
    static std::optional<QByteArray> FetchAll(const Settings& settings, QString& failure);

    // The directory's servers as its documentation asks to find them: the SRV records of
    // _api._tcp.radio-browser.info, else the names of the addresses of all.api.radio-browser.info;
    // shuffled, https only. Empty when none can be found.
    static QStringList DiscoverServers();
};
