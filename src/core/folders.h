#pragma once

#include "diskfile.h"

#include <QString>
#include <QStringList>

#include <functional>

// Where the program keeps its files. The settings and notes live beside the
// program, as they always have; when that folder refuses to be written (an
// install under /opt, a read-only mount) they go to the per-user data
// folder, so that nothing is written where it cannot be kept, and so they
// do for a system-wide install under /usr. A folder
// that is only full stays the place: moving would hide the notes in it.
// Skins are looked for in both.
struct Folders
{
    QString program;
    QString data;
    QString user; // the per-user data folder, also where rescued notes go
    QStringList skinBases;
    // What the user should be told once the bar is up.
    QStringList notices;
};

using FolderProbe = std::function<diskfile::FolderAccess(const QString &folder, QString *why)>;

// Whether the program folder is a system-wide install's (a package under
// /usr, or an install into /usr/local), whose notes live with each user.
bool systemWide(const QString &programFolder);

// `carried` names the files that come along to the per-user folder the
// first time it is used.
Folders chooseFolders(const QString &programFolder, const QString &userDataFolder,
                      const QStringList &carried = {},
                      const FolderProbe &probe = diskfile::folderAccess);

// The folders of this process: the executable's folder and the per-user
// data folder.
Folders systemFolders(const QStringList &carried);
