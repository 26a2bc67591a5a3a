#include "notefiles.h"

#include "core/diskfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QHash>

namespace notefiles {
namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Notes", text);
}

} // namespace

NoteFile loadNote(const QString &path)
{
    NoteFile file;
    QByteArray bytes;
    switch (diskfile::readFile(path, kReadLimit, bytes, &file.error)) {
    case diskfile::ReadStatus::Missing:
        file.status = LoadStatus::Missing;
        return file;
    case diskfile::ReadStatus::Failed:
        file.status = LoadStatus::Failed;
        return file;
    case diskfile::ReadStatus::Read:
        break;
    }
    if (!notecodec::looksLikeText(bytes)) {
        file.status = LoadStatus::Failed;
        file.error = tr("Could not read \"%1\": it does not look like a text file.")
                         .arg(QDir::toNativeSeparators(path));
        return file;
    }
    file.status = LoadStatus::Loaded;
    file.text = notecodec::decode(bytes, &file.encoding);
    file.digest = digestOf(bytes);
    return file;
}

QString twoDigits(int note)
{
    return QStringLiteral("%1").arg(note, 2, 10, QChar(u'0'));
}

QString noteFileName(int note)
{
    return QStringLiteral("note%1.qkn").arg(twoDigits(note));
}

QString notePath(const QString &dataFolder, int note)
{
    return QDir(dataFolder).filePath(noteFileName(note));
}

QString caption(int note)
{
    return QStringLiteral("Note %1").arg(twoDigits(note));
}

size_t digestOf(QByteArrayView bytes)
{
    // Any seed but 0 lets Qt use the processor's AES instructions, several
    // times faster on a note of megabytes. The digest never leaves the run.
    return qHash(bytes, 1);
}

bool importTextFile(const QString &path, QString &text, QString *error)
{
    NoteFile file = loadNote(path);
    if (file.status == LoadStatus::Loaded) {
        text = std::move(file.text);
        return true;
    }
    if (error) {
        *error = file.status == LoadStatus::Missing
                     ? tr("Could not read \"%1\": there is no such file.")
                           .arg(QDir::toNativeSeparators(path))
                     : file.error;
    }
    return false;
}

bool exportTextFile(const QString &path, QStringView text, QString *error)
{
    return diskfile::replace(path, notecodec::encode(text), error);
}

} // namespace notefiles
