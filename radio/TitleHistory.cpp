#include "radio/TitleHistory.h"

#include "app/AtomicFile.h"

#include <QFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcHistory, "wavelark.history")

namespace {

constexpr char kTimeFormat[] = "yyyy-MM-dd HH:mm:ss";
constexpr qsizetype kTimeLength = 19;

// A field of a line: no tab, no line break, no control character, which would split or forge
// lines when the file is read back.
QString FieldText(const QString& text)
{
    QString field;
    field.reserve(text.size());
    for (const QChar c : text)
        field.append(c.category() == QChar::Other_Control ? QLatin1Char(' ') : c);
    return field.trimmed();
}

} // namespace

TitleHistory::TitleHistory(QString path, QObject* parent)
    : QObject(parent), m_path(std::move(path)), m_clock([] { return QDateTime::currentDateTime(); })
{
}

QList<TitleEntry> TitleHistory::Parse(const QByteArray& bytes)
{
    QList<TitleEntry> entries;
    // Only whole lines: whatever follows the last line end was cut off or damaged.
    const qsizetype end = bytes.lastIndexOf('\n');
    if (end < 0)
        return entries;
    for (const QByteArray& line : bytes.left(end).split('\n')) {
        const qsizetype firstTab = line.indexOf('\t');
        if (firstTab != kTimeLength)
            continue;
        const qsizetype secondTab = line.indexOf('\t', firstTab + 1);
        if (secondTab < 0)
            continue;
        TitleEntry entry;
        entry.when = QDateTime::fromString(QString::fromLatin1(line.first(kTimeLength)),
                                           QLatin1String(kTimeFormat));
        entry.channel =
            FieldText(QString::fromUtf8(line.sliced(firstTab + 1, secondTab - firstTab - 1)));
        entry.title = FieldText(QString::fromUtf8(line.sliced(secondTab + 1)));
        if (!entry.when.isValid() || entry.title.isEmpty())
            continue;
        entries.append(entry);
    }
    if (entries.size() > kLimit)
        entries.remove(0, entries.size() - kLimit);
    return entries;
}

QByteArray TitleHistory::Format(const QList<TitleEntry>& entries)
{
    QByteArray bytes;
    for (const TitleEntry& entry : entries) {
        bytes += entry.when.toString(QLatin1String(kTimeFormat)).toLatin1();
        bytes += '\t';
        bytes += FieldText(entry.channel).toUtf8();
        bytes += '\t';
        bytes += FieldText(entry.title).toUtf8();
        bytes += '\n';
    }
    return bytes;
}

void TitleHistory::Load()
{
    m_entries.clear();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.read(kMaxReadBytes);
    if (file.size() > kMaxReadBytes)
        qCWarning(lcHistory) << m_path << "is larger than" << kMaxReadBytes
                             << "bytes; only its beginning is read";
    m_entries = Parse(bytes);
}

bool TitleHistory::Add(const QString& channel, const QString& title)
{
    const QString cleanTitle = FieldText(title);
    const QString cleanChannel = FieldText(channel);
    if (cleanTitle.isEmpty() || cleanTitle == cleanChannel)
        return false;
    for (auto it = m_entries.crbegin(); it != m_entries.crend(); ++it) {
        if (it->channel != cleanChannel)
            continue;
        if (it->title == cleanTitle)
            return false;
        break;
    }
    QDateTime now = m_clock();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    m_entries.append({now, cleanChannel, cleanTitle});
    if (m_entries.size() > kLimit)
        m_entries.remove(0, m_entries.size() - kLimit);
    if (!WriteFileAtomically(m_path, Format(m_entries)))
        qCWarning(lcHistory) << "cannot write" << m_path;
    Q_EMIT Changed();
    return true;
}

QList<TitleEntry> TitleHistory::Recent(int count) const
{
    QList<TitleEntry> recent;
    for (auto it = m_entries.crbegin(); it != m_entries.crend() && recent.size() < count; ++it)
        recent.append(*it);
    return recent;
}
