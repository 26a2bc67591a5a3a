#include "notecodec.h"

#include "core/ansicodepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>

namespace notecodec {
namespace {

constexpr QByteArrayView kBom("\xEF\xBB\xBF", 3);

// Linear with a single allocation: a note can be megabytes long and is
// encoded on every save.
QString withCrLf(QStringView text)
{
    qsizetype extra = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i; // already two characters
        else if (text[i] == u'\n' || text[i] == u'\r')
            ++extra;
    }
    QString out(text.size() + extra, Qt::Uninitialized);
    QChar *p = out.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            continue; // the "\n" that follows writes the pair
        } else if (c == u'\n' || c == u'\r') {
            *p++ = u'\r';
            *p++ = u'\n';
        } else {
            *p++ = c;
        }
    }
    Q_ASSERT(p == out.constData() + out.size());
    return out;
}

// In place: the result is never longer than what was read. The runs
// between carriage returns move in one piece, so that a note of megabytes
// costs a search and a copy rather than a test on every character.
void toLf(QString &text)
{
    qsizetype in = text.indexOf(u'\r');
    if (in < 0)
        return;
    const qsizetype size = text.size();
    QChar *const data = text.data();
    qsizetype out = in;
    while (in < size) {
        // data[in] is a carriage return, alone or before its line feed.
        data[out++] = u'\n';
        if (++in < size && data[in] == u'\n')
            ++in;
        const qsizetype next = QStringView(data + in, size - in).indexOf(u'\r');
        const qsizetype end = next < 0 ? size : in + next;
        std::copy(data + in, data + end, data + out);
        out += end - in;
        in = end;
    }
    text.truncate(out);
}

// Word by word and without an early way out, which compilers turn into
// vector code: a note can be megabytes and is read at start.
bool hasHighByte(QByteArrayView bytes)
{
    const char *data = bytes.data();
    const qsizetype size = bytes.size();
    quint64 seen = 0;
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, sizeof word);
        seen |= word;
    }
    for (; i < size; ++i)
        seen |= quint8(data[i]);
    return seen & 0x8080808080808080ULL;
}

bool isLineSeparator(QChar c)
{
    const char16_t u = c.unicode();
    return u >= 0x2028 && (u == 0x2028 || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1);
}

QByteArray utf8(const QString &lines, bool mark)
{
    QStringEncoder toUtf8(QStringEncoder::Utf8,
                          mark ? QStringEncoder::Flag::WriteBom : QStringEncoder::Flag::Default);
    return toUtf8.encode(lines);
}

} // namespace

QByteArray encode(QStringView text, Encoding encoding)
{
    const QString lines = withCrLf(text);
    switch (encoding) {
    case Encoding::Legacy: {
        // Windows-1252 only when the reader takes the bytes back as
        // Windows-1252: it reads a leading EF BB BF as a byte-order mark and
        // valid UTF-8 as UTF-8, and plain ASCII reads the same either way. A
        // NUL goes the UTF-8 way too, since looksLikeText() trusts a NUL only
        // behind a mark.
        QByteArray bytes;
        if (ansi::encode(lines, bytes) && !bytes.startsWith(kBom) && !bytes.contains('\0') &&
            (!hasHighByte(bytes) || !QByteArrayView(bytes).isValidUtf8()))
            return bytes;
        return utf8(lines, true);
    }
    case Encoding::Utf8: {
        // Without its mark the reader would drop a leading U+FEFF as one, and
        // refuse a NUL as a sign of a file that is not text.
        const bool mark = lines.startsWith(QChar(0xFEFF)) || lines.contains(QChar(0));
        return utf8(lines, mark);
    }
    case Encoding::Utf8Bom:
        break;
    }
    return utf8(lines, true);
}

void toLineFeeds(QString &text)
{
    // Looked for before anything is written, so that a text shared with
    // another (a note's store) is not copied for nothing.
    const qsizetype first =
        std::find_if(text.cbegin(), text.cend(), isLineSeparator) - text.cbegin();
    if (first == text.size())
        return;
    std::replace_if(text.begin() + first, text.end(), isLineSeparator, QChar(u'\n'));
}

QString decode(QByteArrayView bytes, Encoding *found)
{
    QString text;
    Encoding encoding = Encoding::Legacy;
    if (bytes.startsWith(kBom)) {
        // The mark is dropped here, so that a U+FEFF that is part of the
        // text itself comes through. Stateless, or a character cut short at
        // the end would be held back for bytes that never come and vanish,
        // where anywhere else it shows as U+FFFD.
        QStringDecoder fromUtf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom |
                                                          QStringDecoder::Flag::Stateless);
        text = fromUtf8.decode(bytes.sliced(kBom.size()));
        encoding = Encoding::Utf8Bom;
    } else if (!hasHighByte(bytes)) {
        // Plain ASCII, the most common note: nothing to check or convert
        // but its line ends. It says nothing of how it was meant: the old
        // format.
        text = QString::fromLatin1(bytes);
        toLf(text);
        if (found)
            *found = encoding;
        return text;
    } else if (bytes.isValidUtf8()) {
        text = QString::fromUtf8(bytes);
        encoding = Encoding::Utf8;
    } else {
        text = ansi::decode(bytes);
    }
    toLf(text);
    toLineFeeds(text);
    if (found)
        *found = encoding;
    return text;
}

bool looksLikeText(QByteArrayView bytes)
{
    // Text editors never write a NUL byte, while pictures, programs,
    // archives and UTF-16 files almost always hold one early on. The one
    // exception is our own: a note holding U+0000 is written as UTF-8 behind
    // a byte-order mark, which no binary format starts with.
    return bytes.startsWith(kBom) || !bytes.contains('\0');
}

} // namespace notecodec
