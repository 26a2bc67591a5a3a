// What is at a path: its kind, the file a link leads to, and its stamp.
#include "diskfile_p.h"

#include <QDateTime>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace diskfile {

using namespace internal;

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

} // namespace diskfile
