// The notes themselves: where each is held, and the edits, imports and
// exports that change them and set a save going.
#include "notebook.h"

#include <QDir>

#include <algorithm>

using notefiles::caption;

NoteBook::NoteBook(NoteBookEnvironment environment, QObject *parent)
    : QObject(parent), m_env(std::move(environment))
{
    if (!m_env.writer)
        m_env.writer = [](const QString &path, QByteArrayView bytes, QString *error) {
            return diskfile::replace(path, bytes, error);
        };
    if (!m_env.now)
        m_env.now = [] { return QDateTime::currentDateTime(); };
    if (!m_env.clock)
        m_env.clock = [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now().time_since_epoch());
        };
    if (!m_env.timers)
        m_env.timers = qtNoteTimer;
    m_pause = m_env.timers(this);
    m_steady = m_env.timers(this);
    m_retry = m_env.timers(this);
    m_settle = m_env.timers(this);
    m_pairing = m_env.timers(this);
    connect(m_pause, &NoteTimer::timeout, this, &NoteBook::saveNow);
    connect(m_steady, &NoteTimer::timeout, this, &NoteBook::saveNow);
    connect(m_retry, &NoteTimer::timeout, this, &NoteBook::saveNow);
    connect(m_settle, &NoteTimer::timeout, this, &NoteBook::checkDisk);
    connect(m_pairing, &NoteTimer::timeout, this, [this] { tellArrivals(true); });
    const auto settleSoon = [this] { m_settle->start(m_env.settle); };
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

QString NoteBook::native(const QString &path)
{
    return QDir::toNativeSeparators(path);
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

void NoteBook::markEdited(int note)
{
    state(note).dirty = true;
    m_pause->start(m_env.pause);
    if (!m_steady->isActive())
        m_steady->start(m_env.steady);
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

bool NoteBook::hasUnsaved() const
{
    return std::any_of(m_files.begin(), m_files.end(), [](const FileState &s) { return s.dirty; });
}

QString NoteBook::unsavedCaptions() const
{
    QStringList notes;
    for (int note = 1; note <= notefiles::kNoteCount; ++note) {
        if (state(note).dirty)
            notes.append(caption(note));
    }
    return notes.join(QStringLiteral(", "));
}
