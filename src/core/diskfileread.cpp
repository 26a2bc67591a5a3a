// Reading a file without waiting on it: only a regular file is opened, and
// never more than the limit is taken in.
#include "diskfile_p.h"

#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace diskfile {

using namespace internal;

ReadStatus readFile(const QString &path, qint64 limit, QByteArray &out, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = tr("Could not read \"%1\": %2").arg(native(path), why);
        return ReadStatus::Failed;
    };
#ifdef Q_OS_UNIX
    // Looked at before it is opened: opening a pipe can wait for ever, and
    // opening a device can do things.
    struct stat st = {};
    if (::stat(encoded(path).constData(), &st) != 0)
        return isAbsence(errno) ? ReadStatus::Missing : fail(plainReason(errno));
    if (!S_ISREG(st.st_mode))
        return fail(notRegular(kindOfMode(st.st_mode)));
    if (st.st_size > limit)
        return fail(tooLarge(limit));
    // Non-blocking, in case it became something else in between.
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return isAbsence(errno) ? ReadStatus::Missing : fail(plainReason(errno));
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &st) != 0)
        return fail(plainReason(errno));
    if (!S_ISREG(st.st_mode))
        return fail(notRegular(kindOfMode(st.st_mode)));
    // Read at its size, and one byte on: a file that grew meanwhile is no
    // reason to take more than the limit.
    QByteArray bytes(qsizetype(std::min<qint64>(st.st_size, limit) + 1), Qt::Uninitialized);
    qsizetype got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (got > limit)
                return fail(tooLarge(limit));
            bytes.resize(std::min<qsizetype>(got * 2 + 4096, limit + 1));
        }
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(plainReason(errno));
        }
        if (n == 0)
            break;
        got += n;
    }
    if (got > limit)
        return fail(tooLarge(limit));
    bytes.truncate(got);
    out = std::move(bytes);
    return ReadStatus::Read;
#else
    const Kind kind = kindOf(path);
    if (kind == Kind::Missing)
        return ReadStatus::Missing;
    if (kind != Kind::Regular)
        return fail(notRegular(kind));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(plainReason(0, file.errorString()));
    if (file.size() > limit)
        return fail(tooLarge(limit));
    QByteArray bytes = file.read(std::min(file.size(), limit) + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(plainReason(0, file.errorString()));
    if (bytes.size() > limit)
        return fail(tooLarge(limit));
    out = std::move(bytes);
    return ReadStatus::Read;
#endif
}

bool canRead(const QString &path)
{
#ifdef Q_OS_UNIX
    if (kindOf(path) != Kind::Regular)
        return false;
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
#else
    QFile file(path);
    return kindOf(path) == Kind::Regular && file.open(QIODevice::ReadOnly);
#endif
}

} // namespace diskfile
