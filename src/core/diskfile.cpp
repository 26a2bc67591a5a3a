#include "diskfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#endif

namespace diskfile {

#ifdef Q_OS_WIN
// diskfile_win.cpp: identity and times as the system keeps them, and a
// second name for a file.
bool systemStamp(const QString &path, Stamp &stamp);
bool systemLink(const QString &target, const QString &link);
#endif

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Files", text);
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString tooLarge(qint64 limit)
{
    return tr("it is larger than %1 MiB.").arg(limit / (1024 * 1024));
}

QString notRegular(Kind kind)
{
    return tr("it is %1, not a regular file.").arg(describe(kind));
}

#ifdef Q_OS_UNIX

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

Kind kindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return Kind::Regular;
    if (S_ISDIR(mode))
        return Kind::Folder;
    if (S_ISFIFO(mode))
        return Kind::Pipe;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return Kind::Device;
    if (S_ISSOCK(mode))
        return Kind::Socket;
    return Kind::Other;
}

bool isAbsence(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

// The rename that puts a new file in place is only durable once the folder
// itself is on disk; without this a power cut can bring back the old file.
void syncFolder(const QString &folder)
{
    const int fd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

#endif

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

Kind kindOf(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat st = {};
    if (::stat(encoded(path).constData(), &st) != 0)
        return isAbsence(errno) ? Kind::Missing : Kind::Other;
    return kindOfMode(st.st_mode);
#else
    const QFileInfo info(path);
    if (!info.exists())
        return Kind::Missing;
    if (info.isDir())
        return Kind::Folder;
    return info.isFile() ? Kind::Regular : Kind::Other;
#endif
}

QString describe(Kind kind)
{
    switch (kind) {
    case Kind::Missing:
        return tr("missing");
    case Kind::Regular:
        return tr("a file");
    case Kind::Folder:
        return tr("a folder");
    case Kind::Pipe:
        return tr("a named pipe");
    case Kind::Device:
        return tr("a device");
    case Kind::Socket:
        return tr("a socket");
    case Kind::Other:
        break;
    }
    return tr("something that cannot be examined");
}

QString finalTarget(const QString &path)
{
    // The same walk QSaveFile makes, so that what is checked here is what
    // it writes.
    QFileInfo info(path);
    for (int depth = 128; depth > 0 && info.isSymLink(); --depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? path : info.filePath();
}

QString plainReason(int error, const QString &fallback)
{
    switch (error) {
#ifdef EDQUOT
    case EDQUOT:
        return tr("your disk quota is used up.");
#endif
    case ENOSPC:
        return tr("the disk is full.");
    case EROFS:
        return tr("the disk can only be read, not written (it is mounted read-only).");
    case EACCES:
        return tr("you do not have permission.");
    case EPERM:
        return tr("it is protected against changes.");
    case EIO:
        return tr("the disk reported an error.");
    case EFBIG:
        return tr("the file would be larger than the system allows.");
    case ENOENT:
        return tr("the folder does not exist.");
    case ENOTDIR:
        return tr("a part of the path is not a folder.");
    case EISDIR:
        return tr("it is a folder.");
    case ENAMETOOLONG:
        return tr("the name is too long.");
    case ELOOP:
        return tr("it is a link that leads back to itself.");
    case EMFILE:
    case ENFILE:
        return tr("too many files are open.");
    case EBUSY:
    case ETXTBSY:
        return tr("it is in use.");
    case ENOMEM:
        return tr("there is not enough memory.");
    default:
        break;
    }
    if (!fallback.isEmpty())
        return fallback.endsWith(u'.') ? fallback : fallback + u'.';
    return error ? QString::fromLocal8Bit(std::strerror(error)) + u'.' : tr("unknown error.");
}

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

Stamp stampOf(const QString &path)
{
    Stamp stamp;
#ifdef Q_OS_UNIX
    struct stat st = {};
    if (::stat(encoded(path).constData(), &st) != 0) {
        stamp.kind = isAbsence(errno) ? Kind::Missing : Kind::Other;
        return stamp;
    }
    stamp.kind = kindOfMode(st.st_mode);
    stamp.size = st.st_size;
    stamp.modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.changed = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
#else
    const QFileInfo info(path);
    stamp.kind = kindOf(path);
    if (stamp.kind == Kind::Missing)
        return stamp;
#ifdef Q_OS_WIN
    if (systemStamp(path, stamp))
        return stamp;
#endif
    stamp.size = info.size();
    stamp.modified = info.lastModified().toMSecsSinceEpoch();
    stamp.changed = info.metadataChangeTime().toMSecsSinceEpoch();
    stamp.inode = quint64(info.birthTime().toMSecsSinceEpoch());
#endif
    return stamp;
}

bool keepAside(const QString &path, const QString &asidePath, QString *error)
{
    const QString target = finalTarget(path);
#ifdef Q_OS_UNIX
    // A second name costs no room on a full disk and leaves the note file
    // where it is until the new one replaces it.
    if (::link(encoded(target).constData(), encoded(asidePath).constData()) == 0) {
        syncFolder(QFileInfo(asidePath).absolutePath());
        return true;
    }
#elif defined(Q_OS_WIN)
    if (systemLink(target, asidePath))
        return true;
#endif
    QFile file(target);
    if (file.rename(asidePath))
        return true;
    if (error) {
        *error = tr("Could not keep \"%1\" as \"%2\": %3")
                     .arg(native(target), native(asidePath), plainReason(0, file.errorString()));
    }
    return false;
}

QString freeName(const QString &folder, const QString &stem, const QString &label,
                 const QString &suffix)
{
    const QDir dir(folder);
    QString candidate;
    for (int n = 1; n < 1000; ++n) {
        const QString tag = n == 1 ? label : QStringLiteral("%1 %2").arg(label).arg(n);
        candidate = dir.filePath(QStringLiteral("%1 (%2)%3").arg(stem, tag, suffix));
        const QFileInfo info(candidate);
        if (!info.exists() && !info.isSymLink())
            break;
    }
    return candidate;
}

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
