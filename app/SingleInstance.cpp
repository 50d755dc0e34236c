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

// Closes a descriptor when it goes out of scope.
class FdCloser
{
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// Opens a folder without following a link in its last step; -1 when it is not a folder of ours
// that only we may change (`privateOnly`: that only we may enter either).
int OpenOwnFolder(const QString& path, bool privateOnly)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        qCWarning(lcInstance) << "cannot open the lock folder" << path << strerror(errno);
        return -1;
    }
    struct stat status = {};
    const mode_t forbidden = privateOnly ? 077 : 022;
    if (::fstat(fd, &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != geteuid() ||
        (status.st_mode & forbidden) != 0) {
        qCWarning(lcInstance) << "the lock folder" << path
                              << "belongs to another user or others may change it; not using it";
        ::close(fd);
        return -1;
    }
    return fd;
}

// The folder for the lock file, opened; -1 when there is no safe one.
int OpenLockFolder(QString* folderPath)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        const int fd = OpenOwnFolder(runtime, false);
        if (fd >= 0) {
            *folderPath = runtime;
            return fd;
        }
    }
    // In the shared temp folder a folder of our own keeps other users away from the lock file.
    // mkdir fails on anything already there, a planted link included; the checks then decide.
    *folderPath = QDir(QDir::tempPath()).filePath(QStringLiteral("wavelark-%1").arg(geteuid()));
    const QByteArray encoded = QFile::encodeName(*folderPath);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST) {
        qCWarning(lcInstance) << "cannot create the lock folder" << *folderPath << strerror(errno);
        return -1;
    }
    return OpenOwnFolder(*folderPath, true);
}

} // namespace

SingleInstance::SingleInstance(const QString& instanceName)
{
    QString folderPath;
    const FdCloser folder(OpenLockFolder(&folderPath));
    if (folder.Get() < 0)
        return;
    const QString fileName = instanceName + QStringLiteral(".lock");
    m_lockPath = QDir(folderPath).filePath(fileName);

    // Opened relative to the checked folder, so the folder cannot be swapped in between; a link
    // in place of the file is refused.
    const int fd = ::openat(folder.Get(), QFile::encodeName(fileName).constData(),
                            O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        // Without a lock file the guard cannot work; running twice beats not running at all.
        qCWarning(lcInstance) << "cannot open the instance lock" << m_lockPath << strerror(errno);
        return;
    }
    // Another user's file, or one others may write to, could be held locked for ever by them.
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid() ||
        (status.st_mode & 022) != 0) {
        qCWarning(lcInstance) << "the instance lock" << m_lockPath
                              << "is not a private file of this user; ignoring it";
        ::close(fd);
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            m_alreadyRunning = true;
        else
            qCWarning(lcInstance) << "cannot lock" << m_lockPath << strerror(errno);
        ::close(fd);
        return;
    }
    m_fd = fd;
}

SingleInstance::~SingleInstance()
{
    // Closing the descriptor releases the lock; the file itself stays for the next start.
    if (m_fd >= 0)
        ::close(m_fd);
}
