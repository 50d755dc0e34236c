#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

// One line of the title history: when a title began, on which channel, and the title.
struct TitleEntry
{
    QDateTime when; // local time, to the second
    QString channel;
    QString title;
};

// The titles heard, kept in "history.txt" in the working folder, one line per title:
//
//     2026-12-11 09:14:03<TAB>Radio One<TAB>Artist - Song
//
// local time, UTF-8, the newest last; the last kLimit lines are kept. Every change rewrites the
// file atomically (never through a link), so a crash leaves the previous history. The file is
// read at start, at most kMaxReadBytes and only up to its last whole line; lines that do not
// have this form are dropped.
class TitleHistory : public QObject
{
    Q_OBJECT

public:
    static constexpr int kLimit = 1000;
    static constexpr qint64 kMaxReadBytes = 1024 * 1024;
    using Clock = std::function<QDateTime()>;

    explicit TitleHistory(QString path, QObject* parent = nullptr);

    // Reads the file (see above); a missing or unreadable file gives an empty history.
    void Load();

    // A new title on `channel`: appended unless it is empty, equals the channel's name or
    // repeats the title before it on that channel. True when it was appended (the file may
    // still have failed to be written; that is logged).
    bool Add(const QString& channel, const QString& title);

    // The newest `count` entries, newest first.
    QList<TitleEntry> Recent(int count) const;
    const QList<TitleEntry>& Entries() const { return m_entries; }

    void SetClock(Clock clock) { m_clock = std::move(clock); }

    // The entries of a history file's bytes (see above), oldest first.
    static QList<TitleEntry> Parse(const QByteArray& bytes);
    // The file's bytes for `entries`.
    static QByteArray Format(const QList<TitleEntry>& entries);

Q_SIGNALS:
    // An entry was appended.
    void Changed();

private:
    QString m_path;
    Clock m_clock;
    QList<TitleEntry> m_entries;
};
