#pragma once

#include <QString>
#include <QVariant>

// The program's own options beyond the settings file: "wavelark.ini" in the working folder, a
// QSettings INI file. It is read only when it is small (kMaxBytes) and rewritten atomically on
// every change, never through a link.
class Options
{
public:
    static constexpr qint64 kMaxBytes = 64 * 1024;
    static constexpr char kFileName[] = "wavelark.ini";

    explicit Options(QString path = QString::fromLatin1(kFileName));

    bool Flag(const QString& key, bool fallback) const;
    // Stores `value` under `key`, keeping every other option; false when the file cannot be
    // written (the previous file stays).
    bool SetFlag(const QString& key, bool value);

    // Option names.
    static QString TitleNotificationsKey() { return QStringLiteral("TitleNotifications"); }

private:
    QVariant Value(const QString& key) const;

    QString m_path;
};
