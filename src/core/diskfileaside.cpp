// Keeping a file under a second name before it is written over, and finding
// a name that is free for it.
#include "diskfile_p.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace diskfile {

using namespace internal;

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

} // namespace diskfile
