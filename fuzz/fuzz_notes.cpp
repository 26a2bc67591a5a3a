// Note files are read from any file the user imports, so any bytes must
// load without harm, and a loaded note must survive being saved.
#include "notes/notecodec.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace {

// The file as the old program would have written it: CR LF breaks only,
// no NUL, no mark, and not text that the reader would take for UTF-8.
bool isOldFormat(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF") || bytes.contains('\0'))
        return false;
    bool high = false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char b = bytes[i];
        high = high || (b & 0x80);
        if (b == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'))
            return false;
        if (b == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            return false;
    }
    return !high || !bytes.isValidUtf8();
}

// What the writer would produce itself: CR LF breaks only, no NUL, none of
// the characters the note pad shows as line breaks.
bool isCanonical(QByteArrayView bytes)
{
    const QString text = QString::fromUtf8(bytes);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == 0 || c == 0x2028 || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1)
            return false;
        if (c == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n'))
            return false;
        if (c == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    notecodec::looksLikeText(bytes);

    const QString text = notecodec::decode(bytes);
    if (text.contains(u'\r'))
        qFatal("a carriage return survived reading");
    if (text.size() > bytes.size())
        qFatal("%lld bytes read as %lld characters", qlonglong(bytes.size()),
               qlonglong(text.size()));
    // A letter cannot finish a broken character nor change how the file is
    // read, so it must simply follow the text: nothing at the end of a file
    // may be held back or lost.
    if (notecodec::decode(bytes.toByteArray() + 'x') != text + u'x')
        qFatal("the end of the file was not read like the rest");

    // Whichever way a note was read, saving it the same way reads back as
    // the same text, and a file that was already in that form keeps its
    // bytes.
    notecodec::Encoding found = notecodec::Encoding::Legacy;
    notecodec::decode(bytes, &found);
    for (const auto kept :
         {notecodec::Encoding::Legacy, notecodec::Encoding::Utf8, notecodec::Encoding::Utf8Bom}) {
        const QByteArray saved = notecodec::encode(text, kept);
        if (!notecodec::looksLikeText(saved))
            qFatal("a saved note would be refused as not text");
        if (notecodec::decode(saved) != text)
            qFatal("a loaded note reads back differently once saved");
    }
    const QByteArray again = notecodec::encode(text, found);
    if (isOldFormat(bytes) && again != bytes)
        qFatal("a file in the old format was not written back byte for byte");
    if (found == notecodec::Encoding::Utf8 && isCanonical(bytes) && again != bytes)
        qFatal("a UTF-8 file was not written back byte for byte");
    return 0;
}
