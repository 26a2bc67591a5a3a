// Whether a folder takes new files: tried, and a full disk told apart from
// a refusal.
#include "diskfile_p.h"

#include <QStorageInfo>
#include <QTemporaryFile>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace diskfile {

using namespace internal;

FolderAccess folderAccess(const QString &folder, QString *why)
{
    const auto verdict = [&](FolderAccess access, const QString &reason) {
        if (why)
            *why = reason;
        return access;
    };
#ifdef Q_OS_UNIX
    // Tried, not guessed from permission bits, which say nothing for root
    // or for a read-only mount. A file without a name leaves nothing behind.
    int fd = ::open(encoded(folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        QByteArray name = encoded(QDir(folder).filePath(QStringLiteral(".marglet-probe-XXXXXX")));
        fd = ::mkstemp(name.data());
        if (fd >= 0)
            ::unlink(name.constData());
    }
    if (fd < 0) {
        const int error = errno;
#ifdef EDQUOT
        if (error == EDQUOT)
            return verdict(FolderAccess::Full, plainReason(error));
#endif
        if (error == ENOSPC)
            return verdict(FolderAccess::Full, plainReason(error));
        return verdict(FolderAccess::Refused, plainReason(error));
    }
    ::close(fd);
#else
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".marglet-probe-XXXXXX")));
    if (!probe.open())
        return verdict(FolderAccess::Refused, plainReason(0, probe.errorString()));
#endif
    // Room for a name is not room for a note.
    const QStorageInfo storage(folder);
    if (storage.isValid() && storage.bytesAvailable() == 0)
        return verdict(FolderAccess::Full, plainReason(ENOSPC));
    return verdict(FolderAccess::Writable, QString());
}

} // namespace diskfile
