#pragma once

#include <QByteArray>
#include <QString>

#include <array>

// The 8-bit code page the stored files are written in: the system's ANSI
// code page on Windows where it is a single-byte one (1250 to 1258, 874),
// and Windows-1252 everywhere else. Every byte maps to exactly one
// character and back, so a file read and written again keeps its bytes;
// bytes a code page leaves undefined travel as the C1 controls of the same
// value.
namespace ansi {

QString decode(QByteArrayView bytes);

// Returns false (and leaves `out` unspecified) when a character has no byte.
bool encode(QStringView text, QByteArray &out);

bool canEncode(QStringView text);

// The characters of the bytes 0x80 to 0xFF; the bytes below are ASCII in
// every code page used here.
using HighHalf = std::array<char16_t, 128>;

// Windows-1252's high half, and the one in use.
const HighHalf &windows1252();
const HighHalf &inUse();

} // namespace ansi
