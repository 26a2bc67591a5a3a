#include "notefiles.h"

#include "atomicwrite.h"
#include "notecodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace notefiles {
namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Notes", text);
}

bool readText(const QString &path, QString &text, QString *error)
{
    QByteArray bytes;
    if (!readSmallFile(path, kReadLimit, bytes, error))
        return false;
    if (!notecodec::looksLikeText(bytes)) {
        if (error) {
            *error = tr("Could not read \"%1\": it does not look like a text file.")
                         .arg(QDir::toNativeSeparators(path));
        }
        return false;
    }
    text = notecodec::decode(bytes);
    return true;
}

} // namespace

QString notePath(const QString &dataFolder, int note)
{
    return QDir(dataFolder).filePath(QStringLiteral("note%1.qkn").arg(note, 2, 10, QChar(u'0')));
}

LoadStatus loadNote(const QString &path, QString &text, QString *error)
{
    // A dangling link counts as missing too: there is nothing to read, and
    // the first save puts a note file in its place.
    if (!QFileInfo::exists(path)) {
        text.clear();
        return LoadStatus::Missing;
    }
    return readText(path, text, error) ? LoadStatus::Loaded : LoadStatus::Failed;
}

bool saveNote(const QString &path, QStringView text, QString *error)
{
    return writeFileAtomically(path, notecodec::encode(text), error);
}

bool importTextFile(const QString &path, QString &text, QString *error)
{
    return readText(path, text, error);
}

bool exportTextFile(const QString &path, QStringView text, QString *error)
{
    return writeFileAtomically(path, notecodec::encode(text), error);
}

} // namespace notefiles
