// The checked write: a file is replaced whole or not at all, and a new one
// is created only where nothing is.
#include "diskfile_p.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#endif

namespace diskfile {

using namespace internal;

#ifdef Q_OS_UNIX
void internal::syncFolder(const QString &folder)
{
    const int fd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

#endif

namespace {

// Every write loop here: a short write is followed by another, which
// either goes on or fails with the reason the first one kept to itself.
bool writeAll(QFileDevice &file, QByteArrayView bytes, int *error)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        errno = 0;
        const qint64 n = file.write(bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            *error = errno;
            return false;
        }
        done += n;
    }
    return true;
}

// Data the system still holds in memory can fail to reach the disk (an I/O
// error, a quota counted late); only a checked sync says it arrived.
bool syncToDisk(QFileDevice &file, int *error)
{
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0 && errno != EINVAL && errno != ENOTSUP) {
        *error = errno;
        return false;
    }
#elif defined(Q_OS_WIN)
    // The C runtime's name for FlushFileBuffers.
    if (::_commit(file.handle()) != 0) {
        *error = errno;
        return false;
    }
#else
    Q_UNUSED(file);
    Q_UNUSED(error);
#endif
    return true;
}

} // namespace

bool replace(const QString &path, QByteArrayView bytes, QString *error)
{
    const QString target = finalTarget(path);
    const auto fail = [&](const QString &why) {
        if (error)
            *error = tr("Could not write \"%1\": %2").arg(native(target), why);
        return false;
    };
    const Kind kind = kindOf(target);
    if (kind != Kind::Missing && kind != Kind::Regular)
        return fail(notRegular(kind));

    // Unbuffered: QSaveFile keeps buffered data until commit(), where a
    // failure to write it is not reported and the cut-off file would still
    // take the old one's place.
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(plainReason(errno, file.errorString()));
    int why = 0;
    if (!writeAll(file, bytes, &why) || !syncToDisk(file, &why)) {
        const QString reason = plainReason(why, file.errorString());
        file.cancelWriting();
        return fail(reason);
    }
    errno = 0;
    if (!file.commit())
        return fail(plainReason(errno, file.errorString()));
#ifdef Q_OS_UNIX
    syncFolder(QFileInfo(target).absolutePath());
#endif
    return true;
}

bool createNew(const QString &path, QByteArrayView bytes, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = tr("Could not write \"%1\": %2").arg(native(path), why);
        return false;
    };
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return fail(plainReason(errno, file.errorString()));
    int why = 0;
    if (!writeAll(file, bytes, &why) || !syncToDisk(file, &why)) {
        const QString reason = plainReason(why, file.errorString());
        file.close();
        file.remove();
        return fail(reason);
    }
    file.close();
#ifdef Q_OS_UNIX
    syncFolder(QFileInfo(path).absolutePath());
#endif
    return true;
}

} // namespace diskfile
