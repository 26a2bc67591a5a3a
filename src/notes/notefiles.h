#pragma once

#include <QString>

// The three note files and the text files a note is imported from or
// exported to. Every call opens, transfers and closes within the call; every
// write replaces the file whole, so a failed write leaves the old one.
namespace notefiles {

inline constexpr int kNoteCount = 3;

// Only guards against reading a huge stray file into memory; a note of this
// size is already far beyond what the note pad handles well.
inline constexpr qint64 kReadLimit = qint64(64) * 1024 * 1024;

// `note` is 1..3: "<folder>/note01.qkn" and so on.
QString notePath(const QString &dataFolder, int note);

enum class LoadStatus
{
    Loaded,
    Missing,
    Failed
};

// A missing file is a note never written, not an error: `text` is emptied.
// On failure `text` is left as it was and `error` names the file and why.
LoadStatus loadNote(const QString &path, QString &text, QString *error = nullptr);

bool saveNote(const QString &path, QStringView text, QString *error = nullptr);

// Unlike a note, a file to import must exist. `text` is left as it was on
// failure.
bool importTextFile(const QString &path, QString &text, QString *error = nullptr);

// Same format as a note file; an existing file is replaced.
bool exportTextFile(const QString &path, QStringView text, QString *error = nullptr);

} // namespace notefiles
