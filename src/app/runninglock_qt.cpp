// Where there is no flock(): Qt's lock file, which names its owner so that
// a lock left by a killed bar is found to be stale.
#include "runninglock.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLockFile>

struct RunningLock::Handle
{
    explicit Handle(const QString &path) : file(path) {}
    QLockFile file;
};

RunningLock::RunningLock(QString path) : m_path(std::move(path)) {}

RunningLock::~RunningLock() = default;

bool RunningLock::tryLock()
{
    m_handle = std::make_unique<Handle>(m_path);
    QLockFile &lock = m_handle->file;
    lock.setStaleLockTime(0); // only a live process holds it
    if (lock.tryLock(0) || lock.error() != QLockFile::LockFailedError)
        return true;
    // A lock that names no owner is left by a start killed between creating
    // the file and writing to it; a live start writes its owner within
    // microseconds, so such a lock that has aged a few seconds is nobody's.
    qint64 pid = 0;
    QString host;
    QString application;
    if (lock.getLockInfo(&pid, &host, &application))
        return false;
    if (QFileInfo(m_path).lastModified().secsTo(QDateTime::currentDateTime()) < 5)
        return false;
    return lock.removeStaleLockFile() && lock.tryLock(0);
}
