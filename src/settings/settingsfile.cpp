#include "settingsfile.h"

#include "atomicwrite.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace settingsfile {
namespace {

// Far beyond the 512 bytes of a real file; only guards against reading a
// huge stray file into memory.
constexpr qint64 kReadLimit = 1024 * 1024;

} // namespace

Settings load(const QString &path, const Settings &start, QString *error)
{
    if (!QFileInfo::exists(path)) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && !QFileInfo::exists(path)) {
            if (error)
                *error = QCoreApplication::translate(
                             "Settings", "Could not create the settings file \"%1\": %2")
                             .arg(QDir::toNativeSeparators(path), file.errorString());
        }
        return start;
    }
    QByteArray bytes;
    if (!readSmallFile(path, kReadLimit, bytes, error))
        return start;
    return settingscodec::decode(bytes, start);
}

bool save(const QString &path, const Settings &settings, QString *error)
{
    QByteArray existing;
    if (QFileInfo::exists(path)) {
        // The tail of an over-long file is kept only when it can be read;
        // the four records themselves never depend on it.
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            existing = file.read(kReadLimit);
    }
    QByteArray bytes;
    if (!settingscodec::encode(settings, existing, bytes, error))
        return false;
    return writeFileAtomically(path, bytes, error);
}

} // namespace settingsfile
