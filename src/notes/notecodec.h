#pragma once

#include <QByteArray>
#include <QString>

// The bytes of a note file. The old program wrote plain Windows-1252 text
// with CR LF line breaks and no header, and a note that fits that still gets
// exactly those bytes. A note that does not fit is written as UTF-8 behind a
// byte-order mark, so nothing typed is ever lost; the old program shows such
// a file with a few odd characters, which beats losing the text.
namespace notecodec {

// Every line break ("\n", and a "\r\n" or lone "\r" that came in with
// pasted text) is written as CR LF. A lone surrogate half is not text and
// comes back as U+FFFD.
QByteArray encode(QStringView text);

// Takes any line ends (CR LF, lone CR, lone LF) as "\n".
QString decode(QByteArrayView bytes);

// False for bytes that are plainly not text, such as a picture or a program
// picked by mistake.
bool looksLikeText(QByteArrayView bytes);

} // namespace notecodec
