#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Where the program keeps its files. The settings and notes live beside the
// program, as they always have; when that folder cannot be written (an
// install under /usr or /opt) they go to the per-user data folder, so that
// nothing is written where it cannot be kept. Skins are looked for in both.
struct Folders
{
    QString program;
    QString data;
    QStringList skinBases;
};

// True when a file can be created in `folder` (tried, not guessed from
// permission bits, which say nothing for root or for read-only mounts).
bool canWriteIn(const QString &folder);

Folders chooseFolders(const QString &programFolder, const QString &userDataFolder,
                      const std::function<bool(const QString &)> &writable = canWriteIn);

// The folders of this process: the executable's folder and the per-user
// data folder.
Folders systemFolders();
