// The three notes as the bar holds them, and how they meet their files:
// saved as the user types, changes by other programs followed, nothing lost
// on a failing disk. Split by job: notebook.cpp (the notes and their edits),
// notebookfiles.cpp (reading and following the files), notebookcopies.cpp
// (what sync tools keep aside), notebooksave.cpp (writing them, conflicts,
// rescue).
#pragma once

#include "core/diskfile.h"
#include "notecodec.h"
#include "notefiles.h"
#include "notesync.h"
#include "notetimer.h"

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <utility>

// What the notes need from the world around them.
struct NoteBookEnvironment
{
    QString dataFolder;   // the note files
    QString rescueFolder; // where notes go that cannot be saved where they belong
    // A save follows a pause in typing, and steady typing waits no longer
    // than `steady` for one.
    std::chrono::milliseconds pause{2000};
    std::chrono::milliseconds steady{30000};
    // While a save is failing it is tried again this often; at rest,
    // nothing ticks.
    std::chrono::milliseconds retry{15000};
    // How long the files stay quiet after a change on disk before they are
    // looked at: editors and sync tools write in several steps.
    std::chrono::milliseconds settle{250};
    // Text this bar saved this long ago is still taken for what its user
    // just typed: another version taking its place is told.
    std::chrono::milliseconds recent{60000};
    // How long a note that another version replaced and the copy a sync
    // tool keeps of the text it replaced wait for each other, so that the
    // two are told together in whichever order they come.
    std::chrono::milliseconds pairing{3000};
    // This user's own file, outside the notes' folder (which a sync tool
    // carries), naming the copies already told; empty: each start tells
    // every copy it finds.
    QString toldCopies;
    diskfile::Writer writer; // the default replaces the file whole
    std::function<QDateTime()> now;
    // A clock that only moves on, for how long ago a note was saved.
    std::function<std::chrono::milliseconds()> clock;
    NoteTimers timers; // the default is Qt's
};

// The three notes, their files and the note pad's view of them. Only Qt
// Core: all of it runs and is tested without a display. It keeps the notes
// on disk as the user types (after a pause, and at least every so often
// during steady typing), follows changes other programs make to the files,
// and tells in plain words about everything it could not do.
class NoteBook : public QObject
{
    Q_OBJECT
public:
    explicit NoteBook(NoteBookEnvironment environment, QObject *parent = nullptr);
    ~NoteBook() override;

    // The notes' texts, with "\n" line breaks. Changed through the calls
    // below, so that every change is saved.
    QString TxtNote01;
    QString TxtNote02;
    QString TxtNote03;
    // The note on show, 1..3.
    qint16 ActiveNote = 0;

    QString &noteStore(int note);
    const QString &noteStore(int note) const;

    // Reads the three files and starts following them. A file that cannot
    // be read leaves its note empty and the file as it is, and is told.
    void LoadText();
    // As closing does: writes the notes that changed, and creates the files
    // of notes that have none. False when a note could not be saved.
    bool SaveText();
    // Writes the notes that changed.
    bool saveNow();

    // The note pad's whole text replaced it: the active note takes it.
    void replaceActive(const QString &text);
    // `removed` characters at `position` of the active note gave way to
    // `inserted`, leaving `length` characters. False when that does not fit
    // the note as held; the caller then gives the whole text.
    bool editActive(qsizetype position, qsizetype removed, QStringView inserted, qsizetype length);

    // A text file's content becomes the active note's text.
    bool importFile(const QString &path, QString *error);
    // The active note goes to a text file.
    bool exportFile(const QString &path, QString *error);

    bool hasUnsaved() const;
    // "Note 01, Note 03": the notes not yet on disk.
    QString unsavedCaptions() const;

    // Writes each unsaved note to a new file in the rescue folder; `written`
    // lists their paths. False when one could not be written.
    bool rescue(QStringList *written, QString *error);

Q_SIGNALS:
    // The note's text changed other than through the pad (its file, an
    // import): the pad shows it again when it is the note on show.
    void noteReplaced(int note);
    // Something the user should know, in plain words.
    void problem(const QString &message);

private:
    struct FileState
    {
        diskfile::Stamp stamp; // the file as last read or written
        size_t digest = 0;     // of its bytes then
        notecodec::Encoding encoding = notecodec::Encoding::Legacy;
        bool unreadable = false; // kept aside before it is first written over
        bool dirty = false;
        QString told;       // the last failure told, so that a retry says nothing new
        size_t rescued = 0; // the text last put in a rescue file, not put there twice
        bool wasRescued = false;
        // When the bar last wrote text typed here into the file; none once
        // the note took another version.
        std::optional<std::chrono::milliseconds> typedSaved;
    };
    // What another desk did to a note, waiting to be told as one message.
    struct Arrival
    {
        bool replaced = false; // the text typed here gave way to another version
        bool holdsAll = false; // which holds every character of it, in order
        QString replacedText;  // what gave way, kept by the bar if nobody else did
        QStringList copies;    // sync tools' copies of the note that appeared
    };
    struct Seen
    {
        notesync::Disk disk = notesync::Disk::AsKnown;
        diskfile::Stamp stamp;
        notefiles::NoteFile file;
    };

    static QString native(const QString &path);
    QString notePath(int note) const;
    FileState &state(int note) { return m_files[std::size_t(note - 1)]; }
    const FileState &state(int note) const { return m_files[std::size_t(note - 1)]; }
    Seen look(int note) const;
    void markEdited(int note);
    // Writes one note if it needs writing; false when it could not be.
    bool saveNote(int note, bool createMissing);
    bool writeChanged(bool createMissing);
    // Writes, and keeps a retry waiting while anything is left unsaved.
    bool save(bool createMissing);
    bool fail(int note, const QString &why);
    // True when the note's text changed.
    bool take(int note, const Seen &seen);
    bool typedRecently(int note) const;
    void checkDisk();
    // The sync tools' copies of the notes in the notes' folder not seen
    // before: told together at start, else waiting to be told.
    void findCopies(bool atStart);
    void tellArrivals(bool waited);
    // Keeps text typed here that another version replaced and no sync tool
    // kept, as the bar's own conflicted copy; the copy's path, or empty
    // after telling why it could not.
    QString keepReplaced(int note, const QString &text);
    void rememberCopies();
    void watch();
    void tell(const QString &message);
    QString stamped(const QString &label) const;

    NoteBookEnvironment m_env;
    std::array<FileState, notefiles::kNoteCount> m_files;
    // Children, made by the environment's timers.
    NoteTimer *m_pause = nullptr;
    NoteTimer *m_steady = nullptr;
    NoteTimer *m_retry = nullptr;
    NoteTimer *m_settle = nullptr;
    NoteTimer *m_pairing = nullptr;
    QFileSystemWatcher m_watcher;
    std::array<std::pair<quint64, quint64>, notefiles::kNoteCount> m_watched{};
    std::array<Arrival, notefiles::kNoteCount> m_arrivals;
    // Every copy told in this run, and those the bar made itself.
    QSet<QString> m_knownCopies;
};
