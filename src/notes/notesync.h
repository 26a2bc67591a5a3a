// What to do with a note, from whether it was edited here since its file was
// last read or written, and what the file holds now. Nothing that was typed
// or on disk is ever dropped: when both changed, the file's version is kept
// under another name before the note is written.
#pragma once

#include <QStringView>

namespace notesync {

enum class Disk
{
    AsKnown,    // as last read or written (a touch that left the bytes counts)
    Missing,    // gone, or never there
    Changed,    // another program wrote other text
    SameAsHere, // another program wrote what the bar holds
    Unreadable, // a file that cannot be read: too large, not text, no access
    NotAFile,   // a folder, pipe, device or socket
};

enum class Step
{
    Nothing,
    Take,              // the note takes what the file holds
    Write,             // the file takes what the note holds
    KeepAsideAndWrite, // the file is kept under another name, then written
    MarkSaved,         // both hold the same already
    Refuse,            // never written over: the save fails
};

Step decide(bool editedHere, Disk disk);

// Whether `text` holds every character of `part` in the same order, as a
// version made from `part` by adding to it does.
bool holdsInOrder(QStringView text, QStringView part);

// Whether two names that differ only in case name one file.
#ifdef Q_OS_WIN
inline constexpr Qt::CaseSensitivity kFileNameCase = Qt::CaseInsensitive;
#else
inline constexpr Qt::CaseSensitivity kFileNameCase = Qt::CaseSensitive;
#endif

// The note (1..3) whose other version a file of this name holds, as the sync
// tools people use name the version they keep aside when a file changed in
// two places at once, or 0. Syncthing: "note01.sync-conflict-20261208-
// 003018-ULVBUW2.qkn"; Nextcloud, ownCloud and the bar itself: "note01
// (conflicted copy 2026-12-08 003018).qkn"; Dropbox: "note01 (Ann's
// conflicted copy 2026-12-08).qkn"; OneDrive: "note01-LAPTOP.qkn".
int conflictCopyOf(QStringView fileName, Qt::CaseSensitivity names = kFileNameCase);

} // namespace notesync
