#include "padpieces.h"

#include "notes/notecodec.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace padpieces {
namespace {

constexpr int kSeamProperty = QTextFormat::UserProperty + 1;
constexpr const char *kCutProperty = "margletCut";

// Where Qt's line breaking may break a line: after a space, and between the
// ideographs and syllables of the scripts written without spaces.
bool breaksAfter(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u == u' ' || u == u'\t';
    if (c.isSpace())
        return u != 0xA0 && u != 0x2007 && u != 0x202F; // no-break spaces
    if (u < 0x2E80)
        return false;
    switch (c.script()) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
    case QChar::Script_Yi:
        return true;
    default:
        return false;
    }
}

// A cut never splits a character, nor parts a mark or a joiner from what
// it belongs to.
bool joinsPrevious(QStringView text, qsizetype at)
{
    return text[at].isLowSurrogate() || text[at].isMark() || text[at] == QChar(0x200D) ||
           text[at - 1] == QChar(0x200D);
}

// Cuts of one line, [from, to) of `text`.
void cutLine(QStringView text, qsizetype from, qsizetype to, QList<qsizetype> &out)
{
    qsizetype piece = from;
    qsizetype run = from;
    qsizetype lastBreak = -1;
    for (qsizetype i = from; i < to; ++i) {
        if (i - run >= kRun || i - piece >= kPiece) {
            qsizetype cut = i - run >= kRun || lastBreak <= piece + kPiece / 2 ? i : lastBreak;
            for (int back = 0; back < 32 && cut > piece + 1 && joinsPrevious(text, cut); ++back)
                --cut;
            out.append(cut);
            piece = cut;
            run = std::max(run, cut);
            lastBreak = -1;
        }
        if (breaksAfter(text[i])) {
            lastBreak = i + 1;
            run = i + 1;
        }
    }
}

void insertCut(QTextCursor &cursor, QStringView text, const QList<qsizetype> &at)
{
    if (!at.isEmpty())
        cursor.document()->setProperty(kCutProperty, true);
    QTextBlockFormat seam;
    seam.setProperty(kSeamProperty, true);
    // One edit: laid out once, and undone at once.
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    auto cut = at.cbegin();
    qsizetype from = 0;
    qsizetype newline = -1;
    for (;;) {
        // Looked for again only once passed: a line can hold thousands of cuts.
        if (newline < from) {
            newline = text.indexOf(u'\n', from);
            if (newline < 0)
                newline = text.size();
        }
        const bool atCut = cut != at.cend() && *cut < newline;
        const qsizetype end = atCut ? *cut : newline;
        if (end > from)
            cursor.insertText(text.sliced(from, end - from).toString());
        if (atCut) {
            cursor.insertBlock(seam);
            from = end;
            ++cut;
        } else if (end < text.size()) {
            cursor.insertBlock(QTextBlockFormat());
            from = end + 1;
        } else {
            break;
        }
    }
    cursor.endEditBlock();
}

} // namespace

QList<qsizetype> cuts(QStringView text)
{
    QList<qsizetype> out;
    qsizetype from = 0;
    while (from <= text.size()) {
        qsizetype to = text.indexOf(u'\n', from);
        if (to < 0)
            to = text.size();
        // A line shorter than a run is never cut: the common case costs
        // only the search for line breaks.
        if (to - from > kRun)
            cutLine(text, from, to, out);
        from = to + 1;
    }
    return out;
}

bool afterSeam(const QTextBlock &block)
{
    return block.isValid() && block.blockFormat().boolProperty(kSeamProperty) &&
           block.position() > 0;
}

bool everCut(const QTextDocument *document)
{
    return document->property(kCutProperty).toBool();
}

void insert(QTextCursor &cursor, QStringView text)
{
    insertCut(cursor, text, cuts(text));
}

bool fill(QTextDocument *document, QStringView text)
{
    const QList<qsizetype> at = cuts(text);
    document->setProperty(kCutProperty, false);
    if (at.isEmpty())
        return false;
    // As setPlainText() does: a new text, not an edit that undo takes back.
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document);
    cursor.select(QTextCursor::Document);
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    cursor.setBlockFormat(QTextBlockFormat());
    insertCut(cursor, text, at);
    cursor.endEditBlock();
    document->setUndoRedoEnabled(undo);
    return true;
}
QString noteText(const QTextDocument *document, int from, int to)
{
    const int end = document->characterCount() - 1;
    if (to < 0 || to > end)
        to = end;
    QString out;
    if (from >= to)
        return out;
    out.reserve(to - from);
    for (QTextBlock block = document->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        const int start = block.position();
        // The break before this paragraph lies in the range.
        if (start > from && !afterSeam(block))
            out += u'\n';
        const int first = std::max(from, start);
        const int last = std::min(to, start + block.length() - 1);
        if (last > first)
            out += QStringView(block.text()).sliced(first - start, last - first);
    }
    notecodec::toLineFeeds(out);
    return out;
}

SeamCount seams(const QTextDocument *document, int position)
{
    SeamCount count;
    if (!everCut(document))
        return count;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (afterSeam(block)) {
            ++count.total;
            if (block.position() <= position)
                ++count.before;
        }
    }
    return count;
}

} // namespace padpieces
