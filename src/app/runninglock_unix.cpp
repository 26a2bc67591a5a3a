// The kernel's own lock on an open file: it ends with the process however
// the process ends, so a bar that was killed never leaves a lock behind,
// and taking it costs no write and no sync to disk.
#include "runninglock.h"

#include "diskfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

struct RunningLock::Handle
{
    int fd = -1;
};

RunningLock::RunningLock(QString path) : m_path(std::move(path)) {}

RunningLock::~RunningLock()
{
    if (m_handle)
        ::close(m_handle->fd);
}

RunningLock::Result RunningLock::tryLock()
{
    const auto failed = [this](const QString &why) {
        m_error =
            QCoreApplication::translate("RunningLock", "Could not use the lock file \"%1\": %2")
                .arg(QDir::toNativeSeparators(m_path), why);
        return Result::Failed;
    };
    const QByteArray name = QFile::encodeName(m_path);
    // Readable by everyone, so that a bar started by another user (or with
    // sudo) can take the same lock; flock() needs no write access.
    const int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | flags, 0644);
    const int created = fd >= 0 ? 0 : errno;
    if (fd >= 0)
        ::fchmod(fd, 0644);
    else
        fd = ::open(name.constData(), O_RDWR | flags);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
        fd = ::open(name.constData(), O_RDONLY | flags);
    // No lock file, and none can be made (a folder out of room): no bar holds
    // one, and every bar meeting the same folder locks the folder itself.
    if (fd < 0 && errno == ENOENT && created != ENOENT)
        fd = ::open(QFile::encodeName(QFileInfo(m_path).absolutePath()).constData(),
                    O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return failed(diskfile::plainReason(created == EEXIST ? errno : created));
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
        ::close(fd);
        return failed(QCoreApplication::translate("RunningLock", "it is not a regular file."));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_handle = std::make_unique<Handle>(Handle{fd});
        return Result::Acquired;
    }
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK)
        return Result::HeldElsewhere;
    return failed(diskfile::plainReason(error));
}
