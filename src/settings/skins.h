#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

// Skin folders: "<base>/skins/<name>/" holding five GIFs, looked for in every
// base folder given (the program folder, then the per-user data folder).
// Names match without regard to case, so "Skins/Blue/Background.gif" serves
// as well as "skins/Blue/background.gif".
class SkinSource
{
public:
    static inline const QString kBackground = QStringLiteral("background.gif");
    static inline const QString kButtonArea = QStringLiteral("buttonarea.gif");
    static inline const QString kClose = QStringLiteral("close.gif");
    static inline const QString kMax = QStringLiteral("max.gif");
    static inline const QString kMin = QStringLiteral("min.gif");

    explicit SkinSource(QStringList baseFolders);

    // A skin name names one folder and nothing else (no separators, no "..",
    // no drive letter) and fits settings.dat. Any other name is a missing
    // skin to the bar, and is never offered for choosing.
    static bool isUsableName(QStringView name);

    // The path of the skin's file, or an empty string when it is not there.
    QString imagePath(const QString &skinName, const QString &fileName) const;

    // The path the program looks at first, for telling the user what is missing.
    QString expectedPath(const QString &skinName, const QString &fileName) const;

    // The largest picture a skin may hold: the bar's whole design surface.
    static constexpr QSize kMaxSize{535, 343};
    // Far more than a GIF of that size takes.
    static constexpr qint64 kFileLimit = 8 * 1024 * 1024;

    // Loads one image of the skin. A missing or unreadable file, or one
    // larger than kMaxSize, gives the built-in Blue image instead and sets
    // `missing` to the expected path.
    QImage load(const QString &skinName, const QString &fileName, QString *missing) const;

    // Skins with a usable name that hold a background image, in name order,
    // each name once.
    QStringList skinNames() const;

    static QImage builtIn(const QString &fileName);

    // A null image for anything but a regular file holding a picture that
    // fits the bar.
    static QImage readImage(const QString &path);

    // Folder entries named `name` without regard to case, an exact match first.
    static QStringList findEntries(const QString &folder, const QString &name, bool wantFolder);

private:
    // Every skin folder of that name, in the order they are looked at.
    QStringList skinFolders(const QString &skinName) const;

    QStringList m_bases;
};
