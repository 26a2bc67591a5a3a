#include "barnotes.h"

#include "core/message.h"
#include "notepad.h"
#include "notes/filedialogseam.h"
#include "notes/notebook.h"
#include "notes/notecodec.h"
#include "notes/qtfiledialog.h"
#include "padpieces.h"

#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

namespace {

void showFileError(const QString &text, const QString &reason)
{
    logMessage(text + u' ' + reason);
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Marglet QK"), text,
                    QMessageBox::Ok | QMessageBox::Cancel);
    box.setInformativeText(reason);
    box.exec();
}

} // namespace

BarNotes::BarNotes(const BarEnvironment &environment, QWidget *window)
    : QObject(window), m_window(window), m_fileError(environment.fileError)
{
    if (!m_fileError)
        m_fileError = showFileError;
    FileDialogSeam *dialog = environment.fileDialog;
    if (!dialog) {
        m_ownDialog = std::make_unique<QtFileDialog>();
        dialog = m_ownDialog.get();
    }
    CmnDlgSaveLoad = std::make_unique<LastPathFileDialog>(*dialog);
    NoteBookEnvironment notes;
    notes.dataFolder = environment.dataFolder;
    notes.rescueFolder = environment.rescueFolder;
    notes.toldCopies = environment.toldCopies;
    notes.pause = environment.autosaveDelay;
    notes.steady = environment.autosaveLimit;
    notes.retry = environment.retryInterval;
    m_notes = std::make_unique<NoteBook>(std::move(notes));
    connect(m_notes.get(), &NoteBook::noteReplaced, this, &BarNotes::showNoteAgain);
}

BarNotes::~BarNotes() = default;

void BarNotes::attach(NotePad *pad)
{
    if (m_pad)
        return;
    m_pad = pad;
    // It opens on the active note; the change handler is connected after,
    // so that this is no edit of it.
    const qint16 active = m_notes->ActiveNote;
    if (active >= 1 && active <= 3)
        show(m_notes->noteStore(active));
    connect(pad->document(), &QTextDocument::contentsChange, this, &BarNotes::TxtNotepad_Change);
}

QString BarNotes::notepadText() const
{
    const qint16 active = m_notes->ActiveNote;
    if (!m_pad)
        return active >= 1 && active <= 3 ? m_notes->noteStore(active) : QString();
    return padpieces::noteText(m_pad->document());
}

void BarNotes::show(const QString &text)
{
    if (padpieces::fill(m_pad->document(), text))
        m_pad->setTextCursor(QTextCursor(m_pad->document())); // where setPlainText() leaves it
    else
        m_pad->setPlainText(text);
    m_pad->relayout();
}

void BarNotes::setNotepadText(const QString &text)
{
    QString normal = text;
    notecodec::toLineFeeds(normal);
    if (!m_pad) {
        // The pad, once built, opens on the active note.
        m_notes->replaceActive(normal);
        return;
    }
    m_padReplacement = &normal;
    show(normal);
    m_padReplacement = nullptr;
}

void BarNotes::showNoteAgain(int note)
{
    if (note != m_notes->ActiveNote || !m_pad)
        return;
    // New text from the note's file: the caret stays about where it was.
    const int position = m_pad->textCursor().position();
    setNotepadText(m_notes->noteStore(note));
    QTextCursor cursor = m_pad->textCursor();
    cursor.setPosition(std::min(position, m_pad->document()->characterCount() - 1));
    m_pad->setTextCursor(cursor);
}

void BarNotes::TxtNotepad_Change(int position, int removed, int added)
{
    const qint16 active = m_notes->ActiveNote;
    if (active < 1 || active > 3)
        return;
    if (m_padReplacement) {
        m_notes->replaceActive(*m_padReplacement);
        return;
    }
    // Only the edited range is copied: a keystroke in a note of several
    // megabytes costs what the keystroke changed, not the whole note. The
    // document counts its closing paragraph in some changes.
    const QTextDocument *document = m_pad->document();
    const int length = document->characterCount() - 1;
    const qsizetype held = m_notes->noteStore(active).size();
    if (padpieces::everCut(document)) {
        // The note lacks the pad's seams: what the edit took out of it is
        // told by the lengths, the seams before and in the whole pad.
        const padpieces::SeamCount seams = padpieces::seams(document, position);
        const QString inserted =
            padpieces::noteText(document, position, position + std::max(0, added));
        const qsizetype newLength = length - seams.total;
        const qsizetype taken = held - (newLength - inserted.size());
        if (m_notes->editActive(position - seams.before, taken, inserted, newLength))
            return;
    } else {
        removed = std::min(removed, int(held) - position);
        added = std::min(added, length - position);
        if (position >= 0 && removed >= 0 && added >= 0) {
            QTextCursor cursor(m_pad->document());
            cursor.setPosition(position);
            cursor.setPosition(position + added, QTextCursor::KeepAnchor);
            if (m_notes->editActive(position, removed, cursor.selectedText(), length))
                return;
        }
    }
    // Should the document ever report a range that does not add up, take
    // the whole text rather than keep a wrong one.
    m_notes->replaceActive(notepadText());
}

void BarNotes::importFile()
{
    const std::optional<QString> path = CmnDlgSaveLoad->openFile(m_window, QString(), kFileFilter);
    if (!path)
        return;
    QString error;
    if (!m_notes->importFile(*path, &error))
        m_fileError(tr("Error Loading Text File"), error);
}

void BarNotes::exportFile()
{
    const std::optional<QString> path = CmnDlgSaveLoad->saveFile(m_window, QString(), kFileFilter);
    if (!path)
        return;
    QString error;
    if (!m_notes->exportFile(*path, &error))
        m_fileError(tr("Error Saving Text File"), error);
}
