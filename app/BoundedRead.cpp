#include "app/BoundedRead.h"

#include <QFile>
#include <QLoggingCategory>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcBoundedRead, "wavelark.files")

std::optional<BoundedBytes> ReadRegularFile(const QString& path, qint64 limit)
{
    const QByteArray local = QFile::encodeName(path);
    // Non-blocking: opening a planted pipe must not wait for a writer.
    const int fd = ::open(local.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT)
            qCWarning(lcBoundedRead).noquote()
                << "not reading" << path << "-" << QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    struct stat status
    {
    };
    QFile file;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        qCWarning(lcBoundedRead).noquote() << "not reading" << path << "- not a regular file";
        ::close(fd);
        return std::nullopt;
    }
    BoundedBytes read;
    read.bytes = file.read(limit + 1);
    read.cut = read.bytes.size() > limit;
    if (read.cut) {
        read.bytes.truncate(limit);
        qCWarning(lcBoundedRead).noquote()
            << path << "is longer than" << limit << "bytes; the rest is ignored";
    }
    return read;
}
