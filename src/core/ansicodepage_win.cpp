// The system's ANSI code page, the one the notes and settings of a Windows
// user were always written in.
#include "ansicodepage.h"

#include <windows.h>

namespace ansi {

bool systemHighHalf(HighHalf &table)
{
    const UINT page = ::GetACP();
    CPINFO info = {};
    // 1252 is built in; a multi-byte page (Japanese, Chinese, Korean,
    // UTF-8) cannot say every byte alone, so 1252 stands in for it.
    if (page == 1252 || !::GetCPInfo(page, &info) || info.MaxCharSize != 1)
        return false;
    for (int i = 0; i < 128; ++i) {
        const char byte = char(0x80 + i);
        wchar_t c = 0;
        // A byte the page leaves undefined fails here and travels as the
        // C1 control of its value, so that it is kept.
        if (::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, &byte, 1, &c, 1) != 1)
            c = wchar_t(0x80 + i);
        table[std::size_t(i)] = char16_t(c);
    }
    // Two bytes read as one character could not both be written back.
    for (std::size_t i = 0; i < table.size(); ++i) {
        for (std::size_t j = i + 1; j < table.size(); ++j) {
            if (table[i] == table[j])
                return false;
        }
    }
    return true;
}

} // namespace ansi
