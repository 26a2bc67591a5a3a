#pragma once

#include <QByteArray>
#include <QString>

// The 8-bit code page the stored files were written in (Windows-1252).
// Every byte maps to exactly one character and back, so a file read and
// written again keeps its bytes; the five bytes Windows-1252 leaves
// undefined travel as the C1 controls of the same value.
namespace ansi {

QString decode(QByteArrayView bytes);

// Returns false (and leaves `out` unspecified) when a character has no byte.
bool encode(QStringView text, QByteArray &out);

bool canEncode(QStringView text);

} // namespace ansi
