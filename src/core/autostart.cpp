#include "autostart.h"

#include <QDir>

namespace autostart {

namespace {

QString comparable(const QString &path)
{
    // Either separator, on any system the value is read on.
    return QDir::cleanPath(QString(path).replace(u'\\', u'/'));
}

} // namespace

QString runValue(const QString &program)
{
    return u'"' + QDir::toNativeSeparators(program) + u'"';
}

bool runValueNames(const QString &value, const QString &program)
{
    QString path = value.trimmed();
    if (path.startsWith(u'"'))
        path = path.mid(1).section(u'"', 0, 0);
    return !path.isEmpty() &&
           comparable(path).compare(comparable(program), Qt::CaseInsensitive) == 0;
}

} // namespace autostart
