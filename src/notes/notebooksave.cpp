// Writing the notes: when, what to do with a file another program changed
// or that could not be read, saying a failure once, and rescue copies for
// when a note cannot reach its own file.
#include "notebook.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

using notefiles::caption;
using notesync::Disk;
using notesync::Step;

namespace {

// How the bytes just written will be read at the next start: a note that
// had to become UTF-8 stays so.
notecodec::Encoding encodingOf(QByteArrayView bytes, notecodec::Encoding asked)
{
    return bytes.startsWith("\xEF\xBB\xBF") ? notecodec::Encoding::Utf8Bom : asked;
}

} // namespace

bool NoteBook::fail(int note, const QString &why)
{
    FileState &s = state(note);
    const qint64 seconds =
        std::max<qint64>(1, std::chrono::round<std::chrono::seconds>(m_env.retry).count());
    const QString message =
        tr("%1 was not saved. %2\n\nYour text is kept in the bar, which tries again every %3 "
           "seconds. \"Save As Text File\" keeps a copy elsewhere.")
            .arg(caption(note), why, QString::number(seconds));
    // Said once: a note that keeps failing the same way is not reported
    // again on every retry.
    if (message != s.told) {
        s.told = message;
        tell(message);
    }
    return false;
}

bool NoteBook::saveNote(int note, bool createMissing)
{
    FileState &s = state(note);
    const QString path = notePath(note);
    if (!s.dirty && !(createMissing && diskfile::kindOf(path) == diskfile::Kind::Missing))
        return true;

    const Seen seen = look(note);
    Step step = notesync::decide(s.dirty, seen.disk);
    if (!s.dirty && seen.stamp.kind == diskfile::Kind::Missing)
        step = Step::Write; // a note without a file gets one on closing
    switch (step) {
    case Step::Nothing:
        return true;
    case Step::Take:
        take(note, seen);
        return true;
    case Step::MarkSaved:
        take(note, seen);
        s.dirty = false;
        return true;
    case Step::Refuse:
        return fail(note, tr("\"%1\" is %2, not a regular file; Marglet does not write over it.")
                              .arg(native(path), diskfile::describe(seen.stamp.kind)));
    case Step::Write:
    case Step::KeepAsideAndWrite:
        break;
    }

    const QByteArray bytes = notecodec::encode(noteStore(note), s.encoding);
    // Never written larger than it could be read back.
    if (bytes.size() > notefiles::kReadLimit)
        return fail(note, tr("It is too long: on disk it would take more than the %1 MiB a "
                             "note file may hold to be read again. Shorten it.")
                              .arg(notefiles::kReadLimit / (1024 * 1024)));

    QString aside;
    if (step == Step::KeepAsideAndWrite) {
        const QString target = diskfile::finalTarget(path);
        const QFileInfo info(target);
        const QString label =
            seen.disk == Disk::Unreadable ? tr("could not be read") : tr("conflicted copy");
        aside = diskfile::freeName(info.absolutePath(), info.completeBaseName(), stamped(label),
                                   info.suffix().isEmpty() ? QString() : u'.' + info.suffix());
        QString why;
        if (!diskfile::keepAside(path, aside, &why))
            return fail(note, why);
        // Said below: not told again as a copy that appeared.
        m_knownCopies.insert(QFileInfo(aside).absoluteFilePath());
    }
    QString why;
    if (!m_env.writer(path, bytes, &why))
        return fail(note, why);

    s.stamp = diskfile::stampOf(path);
    s.digest = notefiles::digestOf(bytes);
    s.encoding = encodingOf(bytes, s.encoding);
    s.unreadable = false;
    if (s.dirty)
        s.typedSaved = m_env.clock();
    s.dirty = false;
    s.told.clear();
    if (seen.disk == Disk::Changed) {
        tell(tr("%1 was changed by another program too. Your text is saved in \"%2\"; the "
                "other version is kept in \"%3\".")
                 .arg(caption(note), native(path), native(aside)));
    } else if (seen.disk == Disk::Unreadable) {
        tell(tr("The file %1 could not be read from is kept as \"%2\". \"%3\" now holds the "
                "note as the bar shows it.")
                 .arg(caption(note), native(aside), native(path)));
    }
    return true;
}

bool NoteBook::writeChanged(bool createMissing)
{
    bool saved = true;
    for (int note = 1; note <= notefiles::kNoteCount; ++note)
        saved = saveNote(note, createMissing) && saved;
    return saved;
}

bool NoteBook::save(bool createMissing)
{
    m_pause->stop();
    const bool saved = writeChanged(createMissing);
    m_steady->stop();
    // Only while something is left to save does a retry wait.
    if (hasUnsaved()) {
        if (!m_retry->isActive())
            m_retry->start(m_env.retry);
    } else {
        m_retry->stop();
    }
    return saved;
}

bool NoteBook::saveNow()
{
    return save(false);
}

bool NoteBook::SaveText()
{
    return save(true);
}

bool NoteBook::rescue(QStringList *written, QString *error)
{
    if (!QDir().mkpath(m_env.rescueFolder)) {
        if (error)
            *error = tr("Could not create the folder \"%1\".").arg(native(m_env.rescueFolder));
        return false;
    }
    bool all = true;
    for (int note = 1; note <= notefiles::kNoteCount; ++note) {
        FileState &s = state(note);
        const size_t text = qHash(noteStore(note));
        if (!s.dirty || (s.wasRescued && s.rescued == text))
            continue;
        const QString path =
            diskfile::freeName(m_env.rescueFolder, QFileInfo(notePath(note)).completeBaseName(),
                               stamped(tr("rescued")), QStringLiteral(".txt"));
        QString why;
        if (diskfile::createNew(path, notecodec::encode(noteStore(note), state(note).encoding),
                                &why)) {
            s.wasRescued = true;
            s.rescued = text;
            if (written)
                written->append(path);
        } else {
            all = false;
            if (error)
                *error = why;
        }
    }
    return all;
}
