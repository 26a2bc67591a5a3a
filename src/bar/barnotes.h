#pragma once

#include "barenvironment.h"

#include <QObject>
#include <QString>

#include <memory>

class LastPathFileDialog;
class NoteBook;
class NotePad;
class QWidget;

// The three notes and the note pad that shows the active one: the pad's
// edits reach the note's store, a note's new text reaches the pad, and the
// active note is loaded from or saved to a text file.
class BarNotes : public QObject
{
    Q_OBJECT
public:
    // `window` is what the file dialogs open over.
    BarNotes(const BarEnvironment &environment, QWidget *window);
    ~BarNotes() override;

    NoteBook &notes() { return *m_notes; }
    const NoteBook &notes() const { return *m_notes; }

    // The pad, once the bar wants it; it opens on the active note. Once.
    void attach(NotePad *pad);

    // Replaces the pad's whole text, as start-up, a tab switch and an import
    // do; the change handler carries it into the active note's store.
    void setNotepadText(const QString &text);
    // The pad's text exactly as the user sees it (the pad's own plain-text
    // view turns no-break spaces into spaces).
    QString notepadText() const;
    void TxtNotepad_Change(int position, int removed, int added);

    // The bodies of CmdImport_Click and CmdExport_Click.
    void importFile();
    void exportFile();

    static inline const QString kFileFilter =
        QStringLiteral("Text files (*.txt)|*.txt|All Files (*.*)|*.*");

private:
    void showNoteAgain(int note);
    // The pad's whole text becomes `text`.
    void show(const QString &text);

    QWidget *m_window;
    std::function<void(const QString &, const QString &)> m_fileError;
    std::unique_ptr<NoteBook> m_notes;
    std::unique_ptr<FileDialogSeam> m_ownDialog;
    std::unique_ptr<LastPathFileDialog> CmnDlgSaveLoad;
    NotePad *m_pad = nullptr;
    const QString *m_padReplacement = nullptr;
};
