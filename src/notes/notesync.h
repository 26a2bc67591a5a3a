// What to do with a note, from whether it was edited here since its file was
// last read or written, and what the file holds now. Nothing that was typed
// or on disk is ever dropped: when both changed, the file's version is kept
// under another name before the note is written.
#pragma once

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

} // namespace notesync
