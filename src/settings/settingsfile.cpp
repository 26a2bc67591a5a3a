#include "settingsfile.h"

#include "core/diskfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace settingsfile {
namespace {

// Far beyond the 512 bytes of a real file; only guards against reading a
// huge stray file into memory.
constexpr qint64 kReadLimit = 1024 * 1024;

} // namespace

Settings load(const QString &path, const Settings &start, QString *error)
{
    QByteArray bytes;
    switch (diskfile::readFile(path, kReadLimit, bytes, error)) {
    case diskfile::ReadStatus::Read:
        return settingscodec::decode(bytes, start);
    case diskfile::ReadStatus::Failed:
        return start;
    case diskfile::ReadStatus::Missing:
        break;
    }
    // Created empty, as it always was. A link that leads nowhere is left
    // alone: NewOnly would not follow it.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) &&
        diskfile::kindOf(path) == diskfile::Kind::Missing && error) {
        *error =
            QCoreApplication::translate("Settings", "Could not create the settings file \"%1\": %2")
                .arg(QDir::toNativeSeparators(path), diskfile::plainReason(0, file.errorString()));
    }
    return start;
}

bool save(const QString &path, const Settings &settings, QString *error)
{
    // The tail of an over-long file is kept only when it can be read; the
    // four records themselves never depend on it.
    QByteArray existing;
    diskfile::readFile(path, kReadLimit, existing);
    QByteArray bytes;
    if (!settingscodec::encode(settings, existing, bytes, error))
        return false;
    return diskfile::replace(path, bytes, error);
}

} // namespace settingsfile
