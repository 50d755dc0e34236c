#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

// A temporary folder that a test makes its current directory for its lifetime, so that code
// addressing files relative to the working folder never touches the real one.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    QString Path() const { return m_dir.path(); }
    QString FilePath(const QString& name) const { return m_dir.filePath(name); }

    void Write(const QString& name, const QByteArray& bytes) const;
    // The file's bytes, or a null QByteArray when it does not exist.
    QByteArray Read(const QString& name) const;
    bool Exists(const QString& name) const;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};
