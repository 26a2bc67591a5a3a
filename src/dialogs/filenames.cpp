#include "filenames.h"

#include <QFile>
#include <QFileInfo>

namespace filenames {

bool FileExists(const QString &path)
{
    if (path.isEmpty() || QFileInfo(path).isDir())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

QString GetFileName(const QString &path)
{
    const qsizetype separator = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    return path.mid(separator + 1);
}

} // namespace filenames
