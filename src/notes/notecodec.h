#pragma once

#include <QByteArray>
#include <QString>

// The bytes of a note file. The old program wrote plain Windows-1252 text
// with CR LF line breaks and no header, and a note that fits that still gets
// exactly those bytes. A note that does not fit is written as UTF-8 behind a
// byte-order mark, so nothing typed is ever lost; the old program shows such
// a file with a few odd characters, which beats losing the text. A note that
// another editor wrote as UTF-8 stays UTF-8, with or without its mark.
namespace notecodec {

enum class Encoding
{
    // The old format: Windows-1252 while the text fits it, else UTF-8 behind
    // a byte-order mark. Plain ASCII and new notes read as this.
    Legacy,
    Utf8,    // UTF-8 without a mark, as most editors write it
    Utf8Bom, // UTF-8 behind a byte-order mark
};

// Every line break ("\n", and a "\r\n" or lone "\r" that came in with
// pasted text) is written as CR LF. A lone surrogate half is not text and
// comes back as U+FFFD. Whatever the encoding asked for, the bytes read back
// as the same text: UTF-8 that would not (a note starting with U+FEFF or
// holding U+0000) gets a mark.
QByteArray encode(QStringView text, Encoding encoding = Encoding::Legacy);

// Takes any line ends (CR LF, lone CR, lone LF) as "\n", and so the
// separators the note pad shows as line breaks (U+2028, U+2029, U+FDD0,
// U+FDD1): what a note holds is what the pad shows. `found` says how the
// bytes were written, for writing the note back the same way.
QString decode(QByteArrayView bytes, Encoding *found = nullptr);

// Turns the separators the note pad shows as line breaks into "\n".
void toLineFeeds(QString &text);

// False for bytes that are plainly not text, such as a picture or a program
// picked by mistake.
bool looksLikeText(QByteArrayView bytes);

} // namespace notecodec
