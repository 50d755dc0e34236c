#include "support/LockedFolder.h"

#include <QFile>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

LockedFolder::LockedFolder(const QString& path) : m_path(QFile::encodeName(path))
{
    ::chmod(m_path.constData(), 0555);
    if (CanCreate()) {
        SetImmutable(true);
        m_immutable = true;
    }
    m_locked = !CanCreate();
}

LockedFolder::~LockedFolder()
{
    if (m_immutable)
        SetImmutable(false);
    ::chmod(m_path.constData(), 0755);
}

bool LockedFolder::CanCreate() const
{
    const QByteArray probe = m_path + "/.probe";
    const int fd = ::open(probe.constData(), O_CREAT | O_WRONLY, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.constData());
    return true;
}

void LockedFolder::SetImmutable(bool on) const
{
    const int fd = ::open(m_path.constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    ::close(fd);
}
