#pragma once

#include <QPlainTextEdit>

// The note pad: a QPlainTextEdit that keeps the seams of a note held in
// pieces (see padpieces.h) out of what the user meets. Return starts a real
// line, Backspace and Delete at a seam take the character beyond it, a
// paste of long lines comes in pieces, and a copy leaves the seams out.
class NotePad : public QPlainTextEdit
{
    Q_OBJECT
public:
    using QPlainTextEdit::QPlainTextEdit;

    // Lays the whole text out anew at the pad's width, as a resize does.
    // After a new text Qt otherwise takes the widest line it has laid out
    // for the widest of all, and each time that line shrinks (as the line
    // being typed wraps) it measures every line of the note again.
    void relayout();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    QMimeData *createMimeDataFromSelection() const override;
};
