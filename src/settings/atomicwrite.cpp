#include "atomicwrite.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Files", text);
}

// QSaveFile renames the new file into place but does not make the rename
// itself durable; without this a power cut can bring back the old name.
void syncFolderOf(const QString &path)
{
#ifdef Q_OS_UNIX
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(path);
#endif
}

} // namespace

bool writeFileAtomically(const QString &path, QByteArrayView bytes, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = tr("Could not write \"%1\": %2").arg(QDir::toNativeSeparators(path), why);
        return false;
    };
    if (QFileInfo(path).isDir())
        return fail(tr("it is a folder."));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (file.write(bytes.data(), bytes.size()) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(why);
    }
    if (!file.commit())
        return fail(file.errorString());
    syncFolderOf(path);
    return true;
}

bool readSmallFile(const QString &path, qint64 limit, QByteArray &out, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = tr("Could not read \"%1\": %2").arg(QDir::toNativeSeparators(path), why);
        return false;
    };
    const QFileInfo info(path);
    if (info.isDir())
        return fail(tr("it is a folder."));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    if (!file.isSequential() && file.size() > limit)
        return fail(tr("it is larger than %1 MiB.").arg(limit / (1024 * 1024)));
    // A regular file is read at its size; asking for the limit would first
    // reserve the whole limit.
    out = file.read(file.isSequential() ? limit + 1 : std::min(file.size(), limit) + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    if (out.size() > limit)
        return fail(tr("it is larger than %1 MiB.").arg(limit / (1024 * 1024)));
    return true;
}
