#include "app/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes all of `bytes` to `fd`, through short writes and interruptions.
bool WriteAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// A new file beside `target` under a name nobody else uses: created exclusively, never through
// a link. Returns the descriptor and sets `name`, or -1.
int CreateBeside(const QFileInfo& target, QByteArray& name)
{
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    const QByteArray base = QFile::encodeName(target.fileName());
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = folder + "/." + base + '.' +
               QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        // 0666 less the user's umask, as any new file of the program.
        const int fd =
            ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, bool syncToDisk)
{
    const QFileInfo target(path);
    const QByteArray finalName = QFile::encodeName(target.absoluteFilePath());
    QByteArray tempName;
    const int fd = CreateBeside(target, tempName);
    if (fd < 0)
        return false;

    // An existing regular file keeps its permissions. A symbolic link is not followed: the
    // rename below replaces the link itself, so a link planted in the working folder cannot
    // redirect the write to a file elsewhere.
    struct stat existing = {};
    if (::lstat(finalName.constData(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(fd, existing.st_mode & 07777);

    bool ok = WriteAll(fd, bytes) && (!syncToDisk || ::fsync(fd) == 0);
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(tempName.constData(), finalName.constData()) == 0)
        return true;
    ::unlink(tempName.constData());
    return false;
}
