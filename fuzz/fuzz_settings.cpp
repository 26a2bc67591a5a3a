// settings.dat is read at every start, and whatever is in it is written
// back when the bar closes: any bytes must read without harm, and what was
// read must survive that write.
#include "settings/settingscodec.h"

#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// Apart from the defaults, so that a value taken from the wrong place shows.
const Settings kStart{-2, -3, QStringLiteral("Start"), -4};

void checkRead(QByteArrayView bytes)
{
    const Settings read = settingscodec::decode(bytes, kStart);
    const qsizetype size = bytes.size();
    if ((size < 2 && read.PosFromRight != kStart.PosFromRight) ||
        (size < 130 && read.PosTop != kStart.PosTop) ||
        (size < 258 && read.SkinName != kStart.SkinName) ||
        (size < 386 && read.Transparency != kStart.Transparency))
        qFatal("a value beyond the end of %lld bytes did not keep its start value",
               qlonglong(size));

    // Every byte of the code page is a character and the name is clipped to
    // its record, so whatever was read can be saved again.
    QByteArray saved;
    QString error;
    if (!settingscodec::encode(read, bytes, saved, &error))
        qFatal("what was read cannot be saved: %s", qPrintable(error));
    if (saved.size() != std::max<qsizetype>(size, settingscodec::kFileSize))
        qFatal("saving changed the file size from %lld to %lld", qlonglong(size),
               qlonglong(saved.size()));
    if (size > settingscodec::kFileSize &&
        saved.sliced(settingscodec::kFileSize) != bytes.sliced(settingscodec::kFileSize))
        qFatal("saving lost the bytes after the fourth record");
    if (settingscodec::decode(saved) != read)
        qFatal("the saved file reads back differently");
}

// A name typed in the Options window rather than read from the file: any
// text, too long or outside the code page as it may be.
void checkTypedName(QByteArrayView bytes)
{
    Settings typed;
    typed.SkinName = QString::fromUtf8(bytes.first(std::min<qsizetype>(bytes.size(), 200)));
    QByteArray saved;
    QString error;
    if (!settingscodec::encode(typed, {}, saved, &error)) {
        if (error.isEmpty())
            qFatal("a name that cannot be saved gave no reason");
        return;
    }
    if (settingscodec::decode(saved, kStart) != typed)
        qFatal("a saved name reads back differently");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    checkRead(bytes);
    checkTypedName(bytes);
    return 0;
}
