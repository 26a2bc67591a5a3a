#include "folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

bool canWriteIn(const QString &folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".write-test-XXXXXX")));
    return probe.open();
}

Folders chooseFolders(const QString &programFolder, const QString &userDataFolder,
                      const std::function<bool(const QString &)> &writable)
{
    Folders folders;
    folders.program = programFolder;
    if (writable(programFolder)) {
        folders.data = programFolder;
    } else {
        QDir().mkpath(userDataFolder);
        folders.data = userDataFolder;
    }
    folders.skinBases = QStringList{folders.program, folders.data};
    folders.skinBases.removeDuplicates();
    return folders;
}

Folders systemFolders()
{
    return chooseFolders(QCoreApplication::applicationDirPath(),
                         QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}
