// Note files are read from any file the user imports, so any bytes must
// load without harm, and a loaded note must survive being saved.
#include "notecodec.h"

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

    const QByteArray saved = notecodec::encode(text);
    if (!notecodec::looksLikeText(saved))
        qFatal("a saved note would be refused as not text");
    if (notecodec::decode(saved) != text)
        qFatal("a loaded note reads back differently once saved");
    if (isOldFormat(bytes) && saved != bytes)
        qFatal("a file in the old format was not written back byte for byte");
    return 0;
}
