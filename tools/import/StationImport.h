#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

// Builds a channel catalogue and a static content tree from the station lists people use: the
// JSON answers of a public station directory, and M3U/M3U8, PLS and XSPF playlists. Pure
// functions of bytes, safe on any input; the command line around it reads and writes files.
class QIODevice;
class QJsonObject;

class StationImport
{
public:
    struct Station
    {
        QString name;
        QString category;
        QString infoText;
        QString address;
    };

    // Input files are read up to this size; a directory's whole list is about 60 MB.
    static constexpr qint64 kMaxInputBytes = 512LL * 1024 * 1024;
    // What is kept of a list, whatever its size: longer names and addresses are problems, and
    // reading ends at the last station there is room for.
    static constexpr int kMaxNameCharacters = 200;
    static constexpr int kMaxAddressBytes = 2048;
    static constexpr int kMaxStations = 1000000;
    // Problem lines kept; the rest are only counted.
    static constexpr int kMaxProblemsKept = 100;
    // A playlist line or a directory's station object longer than this is a problem of its own;
    // real ones are a few hundred bytes.
    static constexpr qsizetype kMaxLineBytes = 16 * 1024;
    static constexpr qsizetype kMaxEntryBytes = 64 * 1024;
    // XML readers hold a text whole: an XSPF text (or tag) longer than this ends the reading.
    static constexpr qint64 kMaxXmlStretchBytes = 1024 * 1024;
    // ASX is scanned whole, so it is read only up to this size.
    static constexpr qint64 kMaxAsxBytes = 16LL * 1024 * 1024;

    // Adds the stations of one list, told apart by content, read from `device` as it streams
    // in. `source` names it in problem lines and, for a playlist without group titles, becomes
    // its stations' category (the file's base name). A station whose address an earlier station
    // has is left out: the first one stays. A list that is not JSON after all, or turns out to be
    // an HLS stream, adds nothing. False (and nothing added) when the list holds more than
    // kMaxInputBytes.
    bool Read(QIODevice& device, const QString& source);
    bool Read(const QByteArray& bytes, const QString& source);

    const std::vector<Station>& Stations() const { return m_stations; }
    // One line per entry left out as unusable, "source:line: what", the first kMaxProblemsKept
    // of them; the text in it is as the list has it, control characters and all.
    const std::vector<QString>& Problems() const { return m_problems; }
    // All problems, also those past the ones kept.
    qint64 ProblemCount() const { return m_problemCount; }
    int Duplicates() const { return m_duplicates; }
    // Stations the directory's own check found down (lastcheckok 0), left out.
    int FailedChecks() const { return m_failedChecks; }

    // "channels.rd": a UTF-8 catalogue (byte-order mark first), four lines per station.
    QByteArray CatalogueText() const;
    // The content tree, relative path and bytes: the availability text, one stream file per
    // station, the version file with `versionText`, and the vendor's pages.
    std::vector<std::pair<QString, QByteArray>> ContentFiles(const QByteArray& versionText) const;

private:
    class PlaylistSink;
    // Where a list began, to take it back whole.
    struct Mark
    {
        size_t stations = 0;
        size_t problemsKept = 0;
        qint64 problems = 0;
        int duplicates = 0;
        int failedChecks = 0;
        bool full = false;
    };

    void ReadJson(QIODevice& device, const QString& source, int firstLine, const Mark& mark);
    // A directory station waiting for its place by popularity.
    struct RankedStation
    {
        Station station;
        int line = 0;
        qint64 votes = 0;
        qint64 clicks = 0;
    };
    std::optional<RankedStation> ReadJsonStation(const QJsonObject& object, const QString& source,
                                                 int line);
    void ReadPlaylist(QIODevice& device, const QString& source, int firstLine,
                      const Mark& mark);
    void ReadLines(QIODevice& device, int kind, const QString& source, int firstLine,
                   const Mark& mark);
    // `fromAddress`: the name is the address itself, cut to the longest name.
    void Add(Station station, const QString& source, int line, bool fromAddress = false);
    void Problem(const QString& source, int line, const QString& what);
    // Whether another problem's text is still kept; past that, texts need not be made.
    bool KeepsProblemText() const { return m_problems.size() < size_t(kMaxProblemsKept); }
    bool Full() const { return m_full; }
    Mark MarkNow() const;
    void Rollback(const Mark& mark);

    std::vector<Station> m_stations;
    // Address to the list it was first read from (the count of lists read before it).
    QHash<QString, int> m_addresses;
    std::vector<QString> m_problems;
    qint64 m_problemCount = 0;
    int m_duplicates = 0;
    int m_failedChecks = 0;
    int m_lists = 0;
    bool m_full = false;
};

// A catalogue line's text: control characters and line breaks become spaces, runs of white
// space one space, "#" (which would start a comment) its full-width form; trimmed.
QString CleanCatalogueLine(const QString& text);
