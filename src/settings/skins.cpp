#include "skins.h"

#include "settingscodec.h"

#include "core/diskfile.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>

namespace {

const QString kSkinsFolder = QStringLiteral("skins");

// Where a skin's image lies below one base folder, spelt as given.
QString pathIn(const QString &base, const QString &skinName, const QString &fileName)
{
    return QDir(base).filePath(kSkinsFolder + u'/' + skinName + u'/' + fileName);
}

} // namespace

SkinSource::SkinSource(QStringList baseFolders) : m_bases(std::move(baseFolders))
{
    m_bases.removeDuplicates();
}

bool SkinSource::isUsableName(QStringView name)
{
    if (name.isEmpty() || name == u"." || name == u".." || !settingscodec::canStoreName(name))
        return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c == u':' || c.unicode() < 0x20)
            return false;
    }
    return true;
}

QStringList SkinSource::findEntries(const QString &folder, const QString &name, bool wantFolder)
{
    QStringList found;
    const QDir dir(folder);
    const QFileInfo exact(dir.filePath(name));
    if (exact.exists() && exact.isDir() == wantFolder)
        found.append(exact.filePath());
    const auto filter =
        (wantFolder ? QDir::Dirs : QDir::Files) | QDir::NoDotAndDotDot | QDir::Hidden;
    const QFileInfoList entries = dir.entryInfoList(filter, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.fileName() != name && entry.fileName().compare(name, Qt::CaseInsensitive) == 0)
            found.append(entry.filePath());
    }
    return found;
}

QStringList SkinSource::skinFolders(const QString &skinName) const
{
    QStringList folders;
    if (!isUsableName(skinName))
        return folders;
    for (const QString &base : m_bases) {
        for (const QString &skins : findEntries(base, kSkinsFolder, true))
            folders += findEntries(skins, skinName, true);
    }
    return folders;
}

QString SkinSource::imagePath(const QString &skinName, const QString &fileName) const
{
    // A skin spelt as it is on disk, the usual case, needs no folder listing.
    if (isUsableName(skinName) && !m_bases.isEmpty()) {
        const QFileInfo exact(pathIn(m_bases.first(), skinName, fileName));
        if (exact.isFile())
            return exact.filePath();
    }
    for (const QString &skin : skinFolders(skinName)) {
        const QStringList files = findEntries(skin, fileName, false);
        if (!files.isEmpty())
            return files.first();
    }
    return {};
}

QString SkinSource::expectedPath(const QString &skinName, const QString &fileName) const
{
    return QDir::toNativeSeparators(
        pathIn(m_bases.isEmpty() ? QString() : m_bases.first(), skinName, fileName));
}

QImage SkinSource::builtIn(const QString &fileName)
{
    return QImage(QStringLiteral(":/skins/Blue/") + fileName);
}

QImage SkinSource::readImage(const QString &path)
{
    // Read as bytes first: only a regular file is opened, and never in a
    // way that waits, as opening a named pipe would.
    QByteArray bytes;
    if (diskfile::readFile(path, kFileLimit, bytes) != diskfile::ReadStatus::Read)
        return {};
    // The name's suffix is tried first and the content only when that
    // fails: probing content first loads every image plugin there is.
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    for (const QByteArray &format : {suffix, QByteArray()}) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, format);
        // A picture larger than the whole bar has no place on it, and
        // decoding a huge one would hold its memory for as long as the bar
        // runs.
        const QSize size = reader.size();
        if (size.width() > kMaxSize.width() || size.height() > kMaxSize.height())
            return {};
        const QImage image = reader.read();
        if (image.width() > kMaxSize.width() || image.height() > kMaxSize.height())
            return {};
        if (!image.isNull())
            return image;
    }
    return {};
}

QImage SkinSource::load(const QString &skinName, const QString &fileName, QString *missing) const
{
    const QString path = imagePath(skinName, fileName);
    if (!path.isEmpty()) {
        QImage image = readImage(path);
        if (!image.isNull())
            return image;
    }
    if (missing)
        *missing = expectedPath(skinName, fileName);
    return builtIn(fileName);
}

QStringList SkinSource::skinNames() const
{
    QStringList names;
    for (const QString &base : m_bases) {
        for (const QString &skins : findEntries(base, kSkinsFolder, true)) {
            const QFileInfoList folders =
                QDir(skins).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
            for (const QFileInfo &folder : folders) {
                const QString name = folder.fileName();
                if (!isUsableName(name) || names.contains(name, Qt::CaseInsensitive))
                    continue;
                for (const QString &marker : findEntries(folder.filePath(), kBackground, false)) {
                    if (diskfile::canRead(marker)) {
                        names.append(name);
                        break;
                    }
                }
            }
        }
    }
    return names;
}
