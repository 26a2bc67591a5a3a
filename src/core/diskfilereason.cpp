// The reason behind an operating-system error, in words a user knows.
#include "diskfile_p.h"

#include <cerrno>
#include <cstring>

namespace diskfile {

using namespace internal;

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

} // namespace diskfile
