// Where there is no flock(): Qt's lock file, which names its owner so that
// a lock left by a killed bar is found to be stale.
#include "runninglock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

struct RunningLock::Handle
{
    explicit Handle(const QString &path) : file(path) {}
    QLockFile file;
};

RunningLock::RunningLock(QString path) : m_path(std::move(path)) {}

RunningLock::~RunningLock() = default;

RunningLock::Result RunningLock::tryLock()
{
    m_handle = std::make_unique<Handle>(m_path);
    QLockFile &lock = m_handle->file;
    lock.setStaleLockTime(0); // only a live process holds it
    if (lock.tryLock(0))
        return Result::Acquired;
    if (lock.error() != QLockFile::LockFailedError) {
        m_error = QCoreApplication::translate("RunningLock", "Could not use the lock file \"%1\".")
                      .arg(QDir::toNativeSeparators(m_path));
        return Result::Failed;
    }
    // A lock that names no owner is left by a start killed between creating
    // the file and writing to it; a live start writes its owner within
    // microseconds, so such a lock that has aged a few seconds is nobody's.
    qint64 pid = 0;
    QString host;
    QString application;
    if (lock.getLockInfo(&pid, &host, &application))
        return Result::HeldElsewhere;
    if (QFileInfo(m_path).lastModified().secsTo(QDateTime::currentDateTime()) < 5)
        return Result::HeldElsewhere;
    return lock.removeStaleLockFile() && lock.tryLock(0) ? Result::Acquired : Result::HeldElsewhere;
}
