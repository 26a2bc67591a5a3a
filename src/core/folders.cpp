#include "folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Folders", text);
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// As large as a note may be.
constexpr qint64 kCarryLimit = qint64(64) * 1024 * 1024;

// The first time the per-user folder stands in for the program folder, the
// notes and settings already kept there come along, so that the user does
// not meet empty notes. Returns what the user should be told.
QString moveIn(const QString &programFolder, const QString &userFolder, const QStringList &names,
               const QString &why)
{
    const QDir from(programFolder);
    const QDir to(userFolder);
    for (const QString &name : std::as_const(names)) {
        if (diskfile::kindOf(to.filePath(name)) != diskfile::Kind::Missing)
            return {}; // not the first time
    }
    QStringList copied;
    QStringList failed;
    for (const QString &name : std::as_const(names)) {
        QByteArray bytes;
        QString error;
        switch (diskfile::readFile(from.filePath(name), kCarryLimit, bytes, &error)) {
        case diskfile::ReadStatus::Missing:
            continue;
        case diskfile::ReadStatus::Read:
            if (diskfile::createNew(to.filePath(name), bytes, &error)) {
                copied.append(name);
                continue;
            }
            break;
        case diskfile::ReadStatus::Failed:
            break;
        }
        failed.append(error);
    }
    QString message = tr("Marglet cannot write in its program folder \"%1\": %2\n\nYour notes "
                         "and settings are kept in \"%3\" instead.")
                          .arg(native(programFolder), why, native(userFolder));
    if (!copied.isEmpty())
        message += u' ' + tr("These files were copied there from the program folder: %1.")
                              .arg(copied.join(QStringLiteral(", ")));
    if (!failed.isEmpty())
        message += QStringLiteral("\n\n") + failed.join(u'\n');
    return message;
}

} // namespace

bool systemWide(const QString &programFolder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(programFolder)
    return false;
#else
    return programFolder.startsWith(u"/usr/");
#endif
}

Folders chooseFolders(const QString &programFolder, const QString &userDataFolder,
                      const QStringList &carried, const FolderProbe &probe)
{
    Folders folders;
    folders.program = programFolder;
    folders.user = userDataFolder;
    QString why;
    if (systemWide(programFolder)) {
        // Each user keeps their own notes, root too (who could write there):
        // a package's folder is the package manager's, and removing the
        // package would leave the notes behind in it. Nothing to tell, as no
        // notes were ever meant to be there.
        QDir().mkpath(userDataFolder);
        folders.data = userDataFolder;
        folders.skinBases = QStringList{folders.program, folders.data};
        return folders;
    }
    switch (probe(programFolder, &why)) {
    case diskfile::FolderAccess::Writable:
        folders.data = programFolder;
        break;
    case diskfile::FolderAccess::Full:
        folders.data = programFolder;
        folders.notices.append(tr("There is no room in Marglet's folder \"%1\": %2\n\nYour "
                                  "notes stay there, but changes cannot be saved until there "
                                  "is room again.")
                                   .arg(native(programFolder), why));
        break;
    case diskfile::FolderAccess::Refused: {
        QDir().mkpath(userDataFolder);
        folders.data = userDataFolder;
        const QString told = moveIn(programFolder, userDataFolder, carried, why);
        if (!told.isEmpty())
            folders.notices.append(told);
        break;
    }
    }
    folders.skinBases = QStringList{folders.program, folders.data};
    folders.skinBases.removeDuplicates();
    return folders;
}

Folders systemFolders(const QStringList &carried)
{
    // The local, not the roaming, folder on Windows (%LOCALAPPDATA%): the
    // notes belong to this machine's bar, and a roaming profile copied back
    // at log-on could bring old notes over newer ones. The same folder as
    // the other elsewhere.
    return chooseFolders(QCoreApplication::applicationDirPath(),
                         QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation),
                         carried);
}
