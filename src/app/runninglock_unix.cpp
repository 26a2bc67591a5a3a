// The kernel's own lock on an open file: it ends with the process however
// the process ends, so a bar that was killed never leaves a lock behind,
// and taking it costs no write and no sync to disk.
#include "runninglock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
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

bool RunningLock::tryLock()
{
    const int fd =
        ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_handle = std::make_unique<Handle>(Handle{fd});
        return true;
    }
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return !held;
}
