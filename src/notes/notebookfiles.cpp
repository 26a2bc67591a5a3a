// Reading the note files, and following what other programs do to them:
// a change shows in the bar unless the note was edited here meanwhile, and
// a file that cannot be read is never taken for an empty note.
#include "notebook.h"

#include <QFileInfo>

using notefiles::caption;
using notesync::Disk;
using notesync::Step;

void NoteBook::LoadText()
{
    for (int note = 1; note <= notefiles::kNoteCount; ++note) {
        FileState &s = state(note);
        const QString path = notePath(note);
        // The stamp first: a change made while the file is read shows as a
        // changed stamp and is looked at again.
        s = FileState{};
        s.stamp = diskfile::stampOf(path);
        notefiles::NoteFile file = notefiles::loadNote(path);
        if (file.status == notefiles::LoadStatus::Failed) {
            file.text.clear();
            if (s.stamp.kind == diskfile::Kind::Regular) {
                s.unreadable = true;
                tell(tr("%1 could not be read. %2\n\nIt shows empty. Its file is left as it is, "
                        "and is kept under another name before this note is first saved.")
                         .arg(caption(note), file.error));
            } else {
                tell(tr("%1 could not be read. %2\n\nIt shows empty, and Marglet will not "
                        "write over that.")
                         .arg(caption(note), file.error));
            }
        }
        s.encoding = file.encoding;
        s.digest = file.digest;
        noteStore(note) = std::move(file.text);
    }
    findCopies(true);
    watch();
}

void NoteBook::watch()
{
    // Changes in place are seen on the file, replacements and removals on
    // its folder. A watch stays with the file it was put on, so a file that
    // another took the place of is watched anew.
    QStringList folders{m_env.dataFolder};
    for (int note = 1; note <= notefiles::kNoteCount; ++note) {
        const QString path = notePath(note);
        const diskfile::Stamp stamp = diskfile::stampOf(path);
        const auto identity = stamp.kind == diskfile::Kind::Regular
                                  ? std::pair(stamp.device, stamp.inode)
                                  : std::pair<quint64, quint64>();
        auto &watched = m_watched[std::size_t(note - 1)];
        if (identity != watched) {
            if (m_watcher.files().contains(path))
                m_watcher.removePath(path);
            // The system watches only what this user may read; the folder's
            // watch still sees the file replaced.
            if (stamp.kind == diskfile::Kind::Regular && diskfile::canRead(path))
                m_watcher.addPath(path);
            watched = identity;
        }
        folders.append(QFileInfo(diskfile::finalTarget(path)).absolutePath());
    }
    folders.removeDuplicates();
    const QStringList watching = m_watcher.directories();
    for (const QString &folder : std::as_const(folders)) {
        if (!watching.contains(folder) && QFileInfo(folder).isDir())
            m_watcher.addPath(folder);
    }
}

NoteBook::Seen NoteBook::look(int note) const
{
    const FileState &s = state(note);
    const QString path = notePath(note);
    Seen seen;
    seen.stamp = diskfile::stampOf(path);
    const diskfile::Kind kind = seen.stamp.kind;
    if (kind != diskfile::Kind::Missing && kind != diskfile::Kind::Regular) {
        seen.disk = Disk::NotAFile;
        return seen;
    }
    if (seen.stamp == s.stamp) {
        seen.disk = s.unreadable ? Disk::Unreadable : Disk::AsKnown;
        return seen;
    }
    if (kind == diskfile::Kind::Missing) {
        seen.disk = Disk::Missing;
        return seen;
    }
    seen.file = notefiles::loadNote(path);
    switch (seen.file.status) {
    case notefiles::LoadStatus::Missing:
        seen.disk = Disk::Missing;
        break;
    case notefiles::LoadStatus::Failed:
        seen.disk = Disk::Unreadable;
        break;
    case notefiles::LoadStatus::Loaded:
        if (seen.file.digest == s.digest && !s.unreadable &&
            s.stamp.kind == diskfile::Kind::Regular)
            seen.disk = Disk::AsKnown;
        else if (seen.file.text == noteStore(note))
            seen.disk = Disk::SameAsHere;
        else
            seen.disk = Disk::Changed;
        break;
    }
    return seen;
}

bool NoteBook::take(int note, const Seen &seen)
{
    FileState &s = state(note);
    s.stamp = seen.stamp;
    s.unreadable = false;
    s.told.clear();
    s.digest = seen.file.digest;
    s.encoding = seen.file.encoding;
    QString &store = noteStore(note);
    if (store == seen.file.text)
        return false;
    s.typedSaved.reset(); // the note holds another's text now
    store = seen.file.text;
    Q_EMIT noteReplaced(note);
    return true;
}

void NoteBook::checkDisk()
{
    for (int note = 1; note <= notefiles::kNoteCount; ++note) {
        FileState &s = state(note);
        // An edited note meets its file at its next save, which is near.
        if (s.dirty)
            continue;
        const Seen seen = look(note);
        const bool typed = typedRecently(note);
        if (typed && seen.disk == Disk::Missing) {
            // What the user typed a moment ago is not given up for a file
            // that went away: it is saved again.
            markEdited(note);
            tell(tr("The file of %1 was deleted on another desk or by another program, less "
                    "than a minute after you typed in it. Marglet keeps your text and saves it in "
                    "\"%2\" again.")
                     .arg(caption(note), native(notePath(note))));
            continue;
        }
        switch (notesync::decide(false, seen.disk)) {
        case Step::Take:
        case Step::MarkSaved: {
            const QString before = noteStore(note); // shared, not copied
            if (take(note, seen) && typed) {
                Arrival &arrival = m_arrivals[std::size_t(note - 1)];
                arrival.replaced = true;
                arrival.holdsAll = notesync::holdsInOrder(noteStore(note), before);
                if (!arrival.holdsAll)
                    arrival.replacedText = before;
            }
            break;
        }
        case Step::Nothing:
            if (seen.stamp == s.stamp)
                break;
            s.stamp = seen.stamp;
            if (seen.disk == Disk::Unreadable) {
                s.unreadable = true;
                tell(tr("The file of %1 was changed by another program and cannot be read "
                        "now. %2\n\nThe bar keeps showing the text it had. The file is left "
                        "as it is, and is kept under another name before this note is next "
                        "saved.")
                         .arg(caption(note), seen.file.error));
            } else if (seen.disk == Disk::NotAFile) {
                tell(tr("The file of %1, \"%2\", is now %3. Marglet will not write over "
                        "it.")
                         .arg(caption(note), native(notePath(note)),
                              diskfile::describe(seen.stamp.kind)));
            }
            break;
        case Step::Write:
        case Step::KeepAsideAndWrite:
        case Step::Refuse:
            break;
        }
    }
    findCopies(false);
    tellArrivals(false);
    watch();
}
