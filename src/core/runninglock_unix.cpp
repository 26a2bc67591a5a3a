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

namespace {

// The lock file, readable by everyone, so that a bar started by another
// user (or with sudo) can take the same lock: flock() needs no write access.
int openLockFile(const QByteArray &name, int *error)
{
    const int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | flags, 0644);
    if (fd >= 0) {
        ::fchmod(fd, 0644);
        return fd;
    }
    *error = errno; // why it could not be made, should it be missing
    fd = ::open(name.constData(), O_RDWR | flags);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
        fd = ::open(name.constData(), O_RDONLY | flags);
    if (fd < 0) {
        if (errno != ENOENT)
            *error = errno;
        return -1;
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *error = EISDIR;
        return -1;
    }
    return fd;
}

enum class Taken
{
    Yes,
    Elsewhere,
    No
};

Taken take(int &fd, int *error)
{
    if (fd < 0)
        return Taken::No;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return Taken::Yes;
    const int why = errno;
    ::close(fd);
    fd = -1;
    if (why == EWOULDBLOCK)
        return Taken::Elsewhere;
    *error = why;
    return Taken::No;
}

} // namespace

struct RunningLock::Handle
{
    int file = -1;
    int folder = -1;
    ~Handle()
    {
        for (const int fd : {file, folder}) {
            if (fd >= 0)
                ::close(fd);
        }
    }
};

RunningLock::RunningLock(QString path) : m_path(std::move(path)) {}

RunningLock::~RunningLock() = default;

RunningLock::Result RunningLock::tryLock()
{
    // Both the lock file and the folder itself are locked where they can
    // be: a folder out of room cannot take a new lock file, a file system
    // may not lock folders, and any bar must see any other whichever of
    // the two each could take.
    auto handle = std::make_unique<Handle>();
    int fileError = 0;
    int folderError = 0;
    handle->file = openLockFile(QFile::encodeName(m_path), &fileError);
    if (take(handle->file, &fileError) == Taken::Elsewhere)
        return Result::HeldElsewhere;
    handle->folder = ::open(QFile::encodeName(QFileInfo(m_path).absolutePath()).constData(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle->folder < 0)
        folderError = errno;
    if (take(handle->folder, &folderError) == Taken::Elsewhere)
        return Result::HeldElsewhere;
    if (handle->file < 0 && handle->folder < 0) {
        m_error =
            QCoreApplication::translate("RunningLock", "Could not use the lock file \"%1\": %2")
                .arg(QDir::toNativeSeparators(m_path),
                     diskfile::plainReason(fileError ? fileError : folderError));
        return Result::Failed;
    }
    m_handle = std::move(handle);
    return Result::Acquired;
}
