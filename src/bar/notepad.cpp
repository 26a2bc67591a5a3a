#include "notepad.h"

#include "padpieces.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QResizeEvent>
#include <QTextBlock>

void NotePad::relayout()
{
    QResizeEvent resized(size(), QSize());
    resizeEvent(&resized);
}

void NotePad::keyPressEvent(QKeyEvent *event)
{
    if (isReadOnly() || !padpieces::everCut(document()))
        return QPlainTextEdit::keyPressEvent(event);
    QTextCursor cursor = textCursor();
    if (event->matches(QKeySequence::InsertParagraphSeparator)) {
        // Qt would give the new line the format of the one it splits, and
        // with it the mark of a seam.
        cursor.insertBlock(QTextBlockFormat());
        setTextCursor(cursor);
        ensureCursorVisible();
        event->accept();
        return;
    }
    if (!cursor.hasSelection()) {
        const bool back =
            event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier);
        if (back && cursor.atBlockStart() && padpieces::afterSeam(cursor.block())) {
            cursor.movePosition(QTextCursor::PreviousCharacter);
            setTextCursor(cursor);
        } else if (event->matches(QKeySequence::Delete) && cursor.atBlockEnd() &&
                   padpieces::afterSeam(cursor.block().next())) {
            cursor.movePosition(QTextCursor::NextCharacter);
            setTextCursor(cursor);
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void NotePad::insertFromMimeData(const QMimeData *source)
{
    if (isReadOnly() || !source || !source->hasText())
        return QPlainTextEdit::insertFromMimeData(source);
    QString text = source->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    if (padpieces::cuts(text).isEmpty())
        return QPlainTextEdit::insertFromMimeData(source);
    QTextCursor cursor = textCursor();
    padpieces::insert(cursor, text);
    setTextCursor(cursor);
    ensureCursorVisible();
}

QMimeData *NotePad::createMimeDataFromSelection() const
{
    if (!padpieces::everCut(document()))
        return QPlainTextEdit::createMimeDataFromSelection();
    const QTextCursor cursor = textCursor();
    auto *data = new QMimeData;
    data->setText(padpieces::noteText(document(), cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}
