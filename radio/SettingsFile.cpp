#include "radio/SettingsFile.h"

#include "app/AtomicFile.h"
#include "directory/ChannelListText.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QString>
#include <cstddef>

Q_LOGGING_CATEGORY(lcSettingsFile, "wavelark.radio.settings")

namespace {

const QString kSettingsFile = QStringLiteral("setting.dat");

// Five short numbers; a damaged huge file is not read past this.
constexpr qint64 kMaxSettingsBytes = 4096;

} // namespace

SettingsTexts DefaultSettingsTexts()
{
    return {QByteArrayLiteral("1"), QByteArrayLiteral("1"), QByteArrayLiteral("0"),
            QByteArrayLiteral("0"), QByteArrayLiteral("50")};
}

SettingsValues ReadSettings()
{
    SettingsTexts texts = DefaultSettingsTexts();
    QFile file(kSettingsFile);
    if (file.open(QIODevice::ReadOnly)) {
        texts = SettingsTextsFromBytes(file.read(kMaxSettingsBytes));
    } else if (const QFileInfo info(kSettingsFile); !info.exists() && !info.isSymLink()) {
        WriteSettings(texts);
    } else {
        // There but unreadable (permissions, a passing error): the user's settings stay, and
        // this run uses the defaults.
        qCWarning(lcSettingsFile) << "cannot read" << kSettingsFile << "-" << file.errorString();
    }
    return SettingsFromTexts(texts);
}

SettingsTexts SettingsTextsFromBytes(const QByteArray& bytes)
{
    SettingsTexts texts;
    qsizetype pos = 0;
    for (QByteArray& text : texts) {
        if (pos >= bytes.size()) {
            text = QByteArray("");
            continue;
        }
        const qsizetype lineFeed = bytes.indexOf('\n', pos);
        const qsizetype end = lineFeed < 0 ? bytes.size() : lineFeed;
        text = bytes.mid(pos, end - pos);
        pos = end + 1;
    }
    return texts;
}

bool WriteSettings(const SettingsTexts& texts)
{
    QByteArray bytes;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0)
            bytes += '\n';
        bytes += texts[i];
    }
    if (WriteFileAtomically(kSettingsFile, bytes))
        return true;
    qCWarning(lcSettingsFile) << "cannot write" << kSettingsFile;
    return false;
}

SettingsTexts TextsFromSettings(const SettingsValues& values)
{
    return {QByteArray::number(values.keepSelected), QByteArray::number(values.nonStop),
            QByteArray::number(values.startHour), QByteArray::number(values.hours),
            QByteArray::number(values.volume)};
}

SettingsValues SettingsFromTexts(const SettingsTexts& texts)
{
    SettingsValues values;
    values.keepSelected = ReadLeadingInteger(texts[0]);
    values.nonStop = ReadLeadingInteger(texts[1]);
    values.startHour = ReadLeadingInteger(texts[2]);
    values.hours = ReadLeadingInteger(texts[3]);
    values.volume = ReadLeadingInteger(texts[4]);
    return values;
}
