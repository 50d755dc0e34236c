#pragma once

#include <QString>

// Guards against a second running instance with an exclusive lock on a file named after the
// instance name. The kernel drops the lock when the process ends, however it ends, so a crash
// never blocks the next start.
//
// The lock file lives in $XDG_RUNTIME_DIR, or without one in a private folder of the user's own,
// <temp>/wavelark-<uid>/ (created 0700). A folder or lock file that another user owns, that
// others may write, or that is a symbolic link is never used: anyone who can open the file can
// hold its lock and keep the program from starting. The guard is then off, with a warning;
// running twice beats not running at all.
class SingleInstance
{
public:
    explicit SingleInstance(const QString& instanceName);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another process holds the lock (the counterpart of "the mutex already existed").
    bool AlreadyRunning() const { return m_alreadyRunning; }
    // True while this object holds the lock.
    bool Guarding() const { return m_fd >= 0; }
    QString LockPath() const { return m_lockPath; }

private:
    QString m_lockPath;
    int m_fd = -1;
    bool m_alreadyRunning = false;
};

// The instance name every Wavelark process uses.
inline constexpr char kInstanceMutexName[] = "{51RE8H8R1-RDC6-50b5-99O1-WSD98UY67EKL6487}";
