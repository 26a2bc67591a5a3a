// Pieces the diskfile sources share (diskfile*.cpp, diskfile_win.cpp): the
// message wording, and the system calls behind what a path is and how a
// write is made durable. Not for use outside them.
#pragma once

#include "diskfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#endif

namespace diskfile::internal {

inline QString tr(const char *text)
{
    return QCoreApplication::translate("Files", text);
}

inline QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

inline QString tooLarge(qint64 limit)
{
    return tr("it is larger than %1 MiB.").arg(limit / (1024 * 1024));
}

inline QString notRegular(Kind kind)
{
    return tr("it is %1, not a regular file.").arg(describe(kind));
}

#ifdef Q_OS_UNIX

inline QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

inline Kind kindOfMode(mode_t mode)
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

inline bool isAbsence(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

// The rename that puts a new file in place is only durable once the folder
// itself is on disk; without this a power cut can bring back the old file.
// In diskfilewrite.cpp.
void syncFolder(const QString &folder);

#endif

#ifdef Q_OS_WIN
// diskfile_win.cpp: identity and times as the system keeps them, and a
// second name for a file.
bool systemStamp(const QString &path, Stamp &stamp);
bool systemLink(const QString &target, const QString &link);
#endif

} // namespace diskfile::internal
