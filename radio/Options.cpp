#include "radio/Options.h"

#include "app/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>
#include <QTemporaryDir>

Q_LOGGING_CATEGORY(lcOptions, "wavelark.options")

Options::Options(QString path) : m_path(std::move(path)) {}

QVariant Options::Value(const QString& key) const
{
    const QFileInfo info(m_path);
    if (!info.isFile())
        return {};
    if (info.size() > kMaxBytes) {
        qCWarning(lcOptions) << m_path << "is larger than" << kMaxBytes << "bytes; ignored";
        return {};
    }
    const QSettings settings(m_path, QSettings::IniFormat);
    return settings.value(key);
}

bool Options::Flag(const QString& key, bool fallback) const
{
    const QVariant value = Value(key);
    if (!value.isValid())
        return fallback;
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

bool Options::SetFlag(const QString& key, bool value)
{
    // QSettings writes through a link to its target: it renders the file in a scratch folder,
    // and the bytes are put in place by the program's own atomic write.
    const QTemporaryDir scratch;
    if (!scratch.isValid())
        return false;
    const QString renderPath = scratch.filePath(QStringLiteral("options.ini"));
    {
        QSettings rendered(renderPath, QSettings::IniFormat);
        const QFileInfo info(m_path);
        if (info.isFile() && info.size() <= kMaxBytes) {
            const QSettings current(m_path, QSettings::IniFormat);
            for (const QString& existing : current.allKeys())
                rendered.setValue(existing, current.value(existing));
        }
        rendered.setValue(key, value);
        rendered.sync();
        if (rendered.status() != QSettings::NoError)
            return false;
    }
    QFile file(renderPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (!WriteFileAtomically(m_path, file.readAll())) {
        qCWarning(lcOptions) << "cannot write" << m_path;
        return false;
    }
    return true;
}
