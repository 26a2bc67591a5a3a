#pragma once

#include "barenvironment.h"

class NoteBook;

// Saving on the way out. Closing must never drop edits silently: while a
// note cannot be written the user is asked, and an end nobody can be asked
// about puts such notes in a rescue file instead.
class BarClosing
{
public:
    BarClosing(NoteBook &notes, const BarEnvironment &environment);

    // Writes the notes that changed; false when one could not be written.
    bool saveNow();
    // Saves, asking the user while a note cannot be written; false when the
    // user chose to keep the bar open instead.
    bool saveOrAsk();
    // The close sequence has saved and goes on to its end: nothing is saved
    // again after it.
    void end() { m_ended = true; }
    // Saves the notes when the program is asked to end some other way than
    // by its close button (a signal, the session ending, the display gone),
    // with nobody to ask: a note that cannot be saved to its file goes to a
    // rescue file. False when a note is not in its own file.
    bool saveBeforeExit();
    // Not zero while a note is not in its own file, whatever else holds it.
    int exitStatus() const;

private:
    NoteBook &m_notes;
    QString m_rescueFolder;
    std::function<CloseChoice(const QString &, bool)> m_ask;
    bool m_ended = false;
};
