#pragma once

#include <QDir>
#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cstdio>
#endif

// Puts `from` in the place of `to` in one step, as sync tools and careful
// editors replace a file; Qt's own rename refuses an existing target.
inline bool renameOver(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    return ::MoveFileExW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(from).utf16()),
                         reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(to).utf16()),
                         MOVEFILE_REPLACE_EXISTING);
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}
