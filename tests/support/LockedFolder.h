#pragma once

#include <QByteArray>
#include <QString>

// Makes a folder refuse new files. Permission bits are enough for an ordinary user; root
// ignores them, so then the folder is also marked immutable where the file system allows it.
class LockedFolder
{
public:
    explicit LockedFolder(const QString& path);
    ~LockedFolder();
    LockedFolder(const LockedFolder&) = delete;
    LockedFolder& operator=(const LockedFolder&) = delete;

    bool Locked() const { return m_locked; }

private:
    bool CanCreate() const;
    void SetImmutable(bool on) const;

    QByteArray m_path;
    bool m_immutable = false;
    bool m_locked = false;
};
