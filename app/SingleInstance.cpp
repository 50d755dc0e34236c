#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcInstance, "wavelark.instance")

namespace {

QString LockFolder(QString* prefix)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        *prefix = QString();
        return runtime;
    }
    // A shared temp folder: the user id keeps two users' instances apart.
    *prefix = QStringLiteral("wavelark-%1-").arg(getuid());
    return QDir::tempPath();
}

} // namespace

SingleInstance::SingleInstance(const QString& instanceName)
{
    QString prefix;
    const QString folder = LockFolder(&prefix);
    m_lockPath = QDir(folder).filePath(prefix + instanceName + QStringLiteral(".lock"));

    m_fd = ::open(QFile::encodeName(m_lockPath).constData(),
                  O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        // Without a lock file the guard cannot work; running twice beats not running at all.
        qCWarning(lcInstance) << "cannot open the instance lock" << m_lockPath << strerror(errno);
        return;
    }
    // In a shared temp folder another user could plant the file and hold its lock for ever;
    // only a lock file of our own counts.
    struct stat status = {};
    if (::fstat(m_fd, &status) != 0 || status.st_uid != getuid()) {
        qCWarning(lcInstance) << "the instance lock" << m_lockPath
                              << "belongs to another user; ignoring it";
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            m_alreadyRunning = true;
        else
            qCWarning(lcInstance) << "cannot lock" << m_lockPath << strerror(errno);
        ::close(m_fd);
        m_fd = -1;
    }
}

SingleInstance::~SingleInstance()
{
    // Closing the descriptor releases the lock; the file itself stays for the next start.
    if (m_fd >= 0)
        ::close(m_fd);
}
