#pragma once

#include <QString>

// Guards against a second running instance with an exclusive lock on a file named after the
// instance name. The kernel drops the lock when the process ends, however it ends, so a crash
// never blocks the next start.
class SingleInstance
{
public:
    // The lock file's folder: $XDG_RUNTIME_DIR, else the temp folder with the user id in the name.
    explicit SingleInstance(const QString& instanceName);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another process holds the lock (the counterpart of "the mutex already existed").
    bool AlreadyRunning() const { return m_alreadyRunning; }
    QString LockPath() const { return m_lockPath; }

private:
    QString m_lockPath;
    int m_fd = -1;
    bool m_alreadyRunning = false;
};

// The instance name every Wavelark process uses.
inline constexpr char kInstanceMutexName[] = "{51RE8H8R1-RDC6-50b5-99O1-WSD98UY67EKL6487}";
