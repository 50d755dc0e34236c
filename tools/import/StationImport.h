#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <utility>
#include <vector>

// Builds a channel catalogue and a static content tree from the station lists people use: the
// JSON answers of a public station directory, and M3U/M3U8, PLS and XSPF playlists. Pure
// functions of bytes, safe on any input; the command line around it reads and writes files.
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

    // Adds the stations of one list, told apart by content. `source` names it in problem lines
    // and, for a playlist without group titles, becomes its stations' category (the file's base
    // name). A station whose address an earlier station has is left out: the first one stays.
    void Read(const QByteArray& bytes, const QString& source);

    const std::vector<Station>& Stations() const { return m_stations; }
    // One line per entry left out as unusable: "source:line: what".
    const std::vector<QString>& Problems() const { return m_problems; }
    int Duplicates() const { return m_duplicates; }
    // Stations the directory's own check found down (lastcheckok 0), left out.
    int FailedChecks() const { return m_failedChecks; }

    // "channels.rd": a UTF-8 catalogue (byte-order mark first), four lines per station.
    QByteArray CatalogueText() const;
    // The content tree, relative path and bytes: the availability text, one stream file per
    // station, the version file with `versionText`, and the vendor's pages.
    std::vector<std::pair<QString, QByteArray>> ContentFiles(const QByteArray& versionText) const;

private:
    void ReadJson(const QByteArray& bytes, const QString& source);
    void ReadPlaylist(const QByteArray& bytes, const QString& source);
    void Add(Station station, const QString& source, int line);
    void Problem(const QString& source, int line, const QString& what);

    std::vector<Station> m_stations;
    QSet<QString> m_addresses;
    std::vector<QString> m_problems;
    int m_duplicates = 0;
    int m_failedChecks = 0;
};

// A catalogue line's text: control characters and line breaks become spaces, runs of white
// space one space, "#" (which would start a comment) its full-width form; trimmed.
QString CleanCatalogueLine(const QString& text);
