#pragma once

#include "notecodec.h"

#include <QString>

// The three note files and the text files a note is imported from or
// exported to. Every call opens, transfers and closes within the call; only
// regular files are read, and every write replaces the file whole.
namespace notefiles {

inline constexpr int kNoteCount = 3;

// Guards against reading a huge stray file into memory, and is the most a
// note may take on disk: a note is never written larger than it could be
// read back.
inline constexpr qint64 kReadLimit = qint64(64) * 1024 * 1024;

// `note` is 1..3: "note01.qkn" and so on, and "Note 01" as its tab says.
QString noteFileName(int note);
QString notePath(const QString &dataFolder, int note);
QString caption(int note);
// "01" to "03", as the files, the tabs and their controls number the notes.
QString twoDigits(int note);

enum class LoadStatus
{
    Loaded,
    Missing,
    Failed
};

// What a note file held when it was read.
struct NoteFile
{
    LoadStatus status = LoadStatus::Missing;
    QString text;
    notecodec::Encoding encoding = notecodec::Encoding::Legacy;
    size_t digest = 0; // of the bytes, to tell a rewrite from a touch
    QString error;     // names the file and why, when it failed
};

// A missing file is a note never written, not an error: its text is empty.
NoteFile loadNote(const QString &path);

size_t digestOf(QByteArrayView bytes);

// Unlike a note, a file to import must exist. `text` is left as it was on
// failure.
bool importTextFile(const QString &path, QString &text, QString *error = nullptr);

// Same format as a note file; an existing file is replaced.
bool exportTextFile(const QString &path, QStringView text, QString *error = nullptr);

} // namespace notefiles
