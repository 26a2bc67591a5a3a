#include "notesync.h"

#include <QRegularExpression>

namespace notesync {

Step decide(bool editedHere, Disk disk)
{
    switch (disk) {
    case Disk::AsKnown:
        return editedHere ? Step::Write : Step::Nothing;
    case Disk::Missing:
        return editedHere ? Step::Write : Step::Take;
    case Disk::Changed:
        return editedHere ? Step::KeepAsideAndWrite : Step::Take;
    case Disk::SameAsHere:
        return Step::MarkSaved;
    case Disk::Unreadable:
        return editedHere ? Step::KeepAsideAndWrite : Step::Nothing;
    case Disk::NotAFile:
        return editedHere ? Step::Refuse : Step::Nothing;
    }
    return Step::Nothing;
}

bool holdsInOrder(QStringView text, QStringView part)
{
    qsizetype found = 0;
    for (qsizetype i = 0; i < text.size() && found < part.size(); ++i) {
        if (text[i] == part[found])
            ++found;
    }
    return found == part.size();
}

int conflictCopyOf(QStringView fileName, Qt::CaseSensitivity names)
{
    // The tool's own marks as each writes them; the note's name as the file
    // system compares names. A copy keeps the note's extension.
    static const QString pattern =
        QStringLiteral(R"(note0([1-3]))"
                       R"((?:\.sync-conflict-\d{8}-\d{6}(?:-[A-Z2-7]{7})?)"   // Syncthing
                       R"(| \((?:.+['\x{2019}]s )?conflicted copy(?: .*)?\))" // Nextcloud, Dropbox
                       R"(|-[A-Za-z0-9][A-Za-z0-9_-]*))"                      // OneDrive
                       R"(\.qkn)");
    static const QRegularExpression exact(QRegularExpression::anchoredPattern(pattern));
    static const QRegularExpression anyCase(QRegularExpression::anchoredPattern(pattern),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match =
        (names == Qt::CaseSensitive ? exact : anyCase).match(fileName);
    return match.hasMatch() ? match.capturedView(1).toInt() : 0;
}

} // namespace notesync
