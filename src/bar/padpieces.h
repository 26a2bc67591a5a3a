// How the note pad holds a note whose lines are too long for Qt to lay out
// at typing speed. Qt lays a paragraph out whole, after every keystroke in
// it, and its word wrap searches a run without a break point to its end
// for every line it makes: a 1 MB line without spaces takes minutes. The pad
// therefore holds such a line as several paragraphs, cut at a space where
// there is one; a cut, a seam, is a paragraph break that the note does not
// have. The paragraph after a seam carries a mark in its format, which undo
// and redo restore with it; the note's text is the pad's text without its
// seams.
#pragma once

#include <QList>
#include <QString>

class QTextBlock;
class QTextCursor;
class QTextDocument;

namespace padpieces {

// A paragraph is cut once it reaches kPiece characters (at its last space
// after half of that, else there), and a run without a break point once it
// reaches kRun: laying out either then takes a few milliseconds.
inline constexpr qsizetype kPiece = 16384;
inline constexpr qsizetype kRun = 2048;

// Where `text` ("\n" line breaks) is cut, as positions in it; none for text
// whose lines are all short enough.
QList<qsizetype> cuts(QStringView text);

// Whether the paragraph follows a seam rather than a line break.
bool afterSeam(const QTextBlock &block);

// Inserts `text` at the cursor, in place of its selection, as one edit,
// cut where it needs to be.
void insert(QTextCursor &cursor, QStringView text);

// Replaces the document's text with `text`, cut where it needs to be, as
// setPlainText() does: nothing to undo. False, leaving the document as it
// was, when no line needs cutting; setPlainText() is the faster way then.
bool fill(QTextDocument *document, QStringView text);

// The document's text from `from` to `to` (to the end by default), as the
// note holds it: seams dropped, line breaks "\n".
QString noteText(const QTextDocument *document, int from = 0, int to = -1);

// Seams before `position`, and in the whole document. Counting walks the
// paragraphs, so it is only done for a document that was ever cut.
struct SeamCount
{
    int before = 0;
    int total = 0;
};
SeamCount seams(const QTextDocument *document, int position);
bool everCut(const QTextDocument *document);

} // namespace padpieces
