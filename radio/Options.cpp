#include "radio/Options.h"

#include "app/AtomicFile.h"
#include "app/BoundedRead.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

Q_LOGGING_CATEGORY(lcOptions, "wavelark.radio.options")

namespace {

// The file's settings, parsed from a private copy: QSettings itself would follow a link
// planted at the name and read a file of any size.
struct LoadedOptions
{
    QTemporaryDir folder;
    std::unique_ptr<QSettings> settings;
};

std::unique_ptr<LoadedOptions> Load(const QString& file)
{
    auto loaded = std::make_unique<LoadedOptions>();
    if (!loaded->folder.isValid())
        return nullptr;
    const QString copy = loaded->folder.filePath(QStringLiteral("options.ini"));
    // A file larger than the bound is damaged or planted: the defaults are used.
    QByteArray bytes;
    if (const std::optional<BoundedBytes> read = ReadRegularFile(file, Options::kMaxFileBytes);
        read && !read->cut)
        bytes = read->bytes;
    if (!WriteFileAtomically(copy, bytes, false))
        return nullptr;
    loaded->settings = std::make_unique<QSettings>(copy, QSettings::IniFormat);
    return loaded;
}

} // namespace

namespace Options {

QVariant Value(const QString& key, const QVariant& fallback, const QString& file)
{
    const std::unique_ptr<LoadedOptions> loaded = Load(file);
    if (!loaded || loaded->settings->status() != QSettings::NoError)
        return fallback;
    return loaded->settings->value(key, fallback);
}

bool SetValue(const QString& key, const QVariant& value, const QString& file)
{
    const std::unique_ptr<LoadedOptions> loaded = Load(file);
    if (!loaded)
        return false;
    loaded->settings->setValue(key, value);
    loaded->settings->sync();
    QFile copy(loaded->settings->fileName());
    if (loaded->settings->status() != QSettings::NoError || !copy.open(QIODevice::ReadOnly) ||
        !WriteFileAtomically(file, copy.readAll())) {
        qCWarning(lcOptions).noquote() << "cannot write" << file;
        return false;
    }
    return true;
}

bool EvenLoudness(const QString& file)
{
    return Value(kEvenLoudness, true, file).toBool();
}

bool SetEvenLoudness(bool on, const QString& file)
{
    return SetValue(kEvenLoudness, on, file);
}

} // namespace Options
