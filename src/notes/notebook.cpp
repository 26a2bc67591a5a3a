#include "notebook.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

using notefiles::caption;
using notesync::Disk;
using notesync::Step;

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

} // namespace notesync

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// How the bytes just written will be read at the next start: a note that
// had to become UTF-8 stays so.
notecodec::Encoding encodingOf(QByteArrayView bytes, notecodec::Encoding asked)
{
    return bytes.startsWith("\xEF\xBB\xBF") ? notecodec::Encoding::Utf8Bom : asked;
}

} // namespace

NoteBook::NoteBook(NoteBookEnvironment environment, QObject *parent)
    : QObject(parent), m_env(std::move(environment))
{
    if (!m_env.writer)
        m_env.writer = [](const QString &path, QByteArrayView bytes, QString *error) {
            return diskfile::replace(path, bytes, error);
        };
    if (!m_env.now)
        m_env.now = [] { return QDateTime::currentDateTime(); };
    for (QTimer *timer : {&m_pause, &m_steady, &m_retry, &m_settle})
        timer->setSingleShot(true);
    m_pause.setInterval(m_env.pause);
    m_steady.setInterval(m_env.steady);
    m_retry.setInterval(m_env.retry);
    m_settle.setInterval(m_env.settle);
    connect(&m_pause, &QTimer::timeout, this, &NoteBook::saveNow);
    connect(&m_steady, &QTimer::timeout, this, &NoteBook::saveNow);
    connect(&m_retry, &QTimer::timeout, this, &NoteBook::saveNow);
    connect(&m_settle, &QTimer::timeout, this, &NoteBook::checkDisk);
    const auto settleSoon = [this] { m_settle.start(); };
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, settleSoon);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, settleSoon);
}

NoteBook::~NoteBook() = default;

QString &NoteBook::noteStore(int note)
{
    return const_cast<QString &>(std::as_const(*this).noteStore(note));
}

const QString &NoteBook::noteStore(int note) const
{
    switch (note) {
    case 1:
        return TxtNote01;
    case 2:
        return TxtNote02;
    default:
        Q_ASSERT(note == 3);
        return TxtNote03;
    }
}

QString NoteBook::notePath(int note) const
{
    return notefiles::notePath(m_env.dataFolder, note);
}

void NoteBook::tell(const QString &message)
{
    Q_EMIT problem(message);
}

QString NoteBook::stamped(const QString &label) const
{
    return label + u' ' + m_env.now().toString(QStringLiteral("yyyy-MM-dd HHmmss"));
}

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

void NoteBook::take(int note, const Seen &seen)
{
    FileState &s = state(note);
    s.stamp = seen.stamp;
    s.unreadable = false;
    s.told.clear();
    s.digest = seen.file.digest;
    s.encoding = seen.file.encoding;
    QString &store = noteStore(note);
    if (store == seen.file.text)
        return;
    store = seen.file.text;
    Q_EMIT noteReplaced(note);
}

void NoteBook::checkDisk()
{
    for (int note = 1; note <= notefiles::kNoteCount; ++note) {
        FileState &s = state(note);
        // An edited note meets its file at its next save, which is near.
        if (s.dirty)
            continue;
        const Seen seen = look(note);
        switch (notesync::decide(false, seen.disk)) {
        case Step::Take:
        case Step::MarkSaved:
            take(note, seen);
            break;
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
    watch();
}

void NoteBook::markEdited(int note)
{
    state(note).dirty = true;
    m_pause.start();
    if (!m_steady.isActive())
        m_steady.start();
}

void NoteBook::replaceActive(const QString &text)
{
    if (ActiveNote < 1 || ActiveNote > notefiles::kNoteCount)
        return;
    QString &store = noteStore(ActiveNote);
    // Setting a note's own text again (start-up, a switch) is no edit.
    if (text == store)
        return;
    store = text;
    markEdited(ActiveNote);
}

bool NoteBook::editActive(qsizetype position, qsizetype removed, QStringView inserted,
                          qsizetype length)
{
    if (ActiveNote < 1 || ActiveNote > notefiles::kNoteCount)
        return true;
    QString &store = noteStore(ActiveNote);
    const bool fits = position >= 0 && removed >= 0 && position + removed <= store.size() &&
                      store.size() - removed + inserted.size() == length;
    if (fits) {
        QString piece = inserted.toString();
        notecodec::toLineFeeds(piece);
        store.replace(position, removed, piece);
        markEdited(ActiveNote);
    }
    return fits;
}

bool NoteBook::importFile(const QString &path, QString *error)
{
    QString text;
    if (!notefiles::importTextFile(path, text, error))
        return false;
    if (ActiveNote < 1 || ActiveNote > notefiles::kNoteCount)
        return true;
    if (text != noteStore(ActiveNote)) {
        noteStore(ActiveNote) = std::move(text);
        markEdited(ActiveNote);
    }
    Q_EMIT noteReplaced(ActiveNote);
    return true;
}

bool NoteBook::exportFile(const QString &path, QString *error)
{
    if (ActiveNote < 1 || ActiveNote > notefiles::kNoteCount)
        return true;
    return notefiles::exportTextFile(path, noteStore(ActiveNote), error);
}

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
    }
    QString why;
    if (!m_env.writer(path, bytes, &why))
        return fail(note, why);

    s.stamp = diskfile::stampOf(path);
    s.digest = notefiles::digestOf(bytes);
    s.encoding = encodingOf(bytes, s.encoding);
    s.unreadable = false;
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
    m_pause.stop();
    const bool saved = writeChanged(createMissing);
    m_steady.stop();
    // Only while something is left to save does a retry wait.
    if (hasUnsaved()) {
        if (!m_retry.isActive())
            m_retry.start();
    } else {
        m_retry.stop();
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

bool NoteBook::hasUnsaved() const
{
    return std::any_of(m_files.begin(), m_files.end(), [](const FileState &s) { return s.dirty; });
}

bool NoteBook::isDirty(int note) const
{
    return note >= 1 && note <= notefiles::kNoteCount && state(note).dirty;
}

QString NoteBook::unsavedCaptions() const
{
    QStringList notes;
    for (int note = 1; note <= notefiles::kNoteCount; ++note) {
        if (isDirty(note))
            notes.append(caption(note));
    }
    return notes.join(QStringLiteral(", "));
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
