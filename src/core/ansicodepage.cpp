#include "ansicodepage.h"

#include <algorithm>
#include <utility>

namespace ansi {

// The system's code page, when it has one byte a character and is not
// 1252 (ansicodepage_win.cpp on Windows).
bool systemHighHalf(HighHalf &table);
#ifndef Q_OS_WIN
bool systemHighHalf(HighHalf &)
{
    return false;
}
#endif

namespace {

HighHalf makeWindows1252()
{
    // 0x80..0x9F differ from Latin-1; 0xA0..0xFF are the same.
    constexpr std::array<char16_t, 32> c1 = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    HighHalf table{};
    std::copy(c1.begin(), c1.end(), table.begin());
    for (int i = 32; i < 128; ++i)
        table[std::size_t(i)] = char16_t(0x80 + i);
    return table;
}

// The high half by character, for a binary search.
using Reverse = std::array<std::pair<char16_t, quint8>, 128>;

const Reverse &reverse()
{
    static const Reverse table = [] {
        Reverse sorted{};
        const HighHalf &high = inUse();
        for (std::size_t i = 0; i < high.size(); ++i)
            sorted[i] = {high[i], quint8(0x80 + i)};
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }();
    return table;
}

int byteFor(char16_t c)
{
    if (c < 0x80)
        return c;
    const Reverse &table = reverse();
    const auto found = std::lower_bound(table.begin(), table.end(), std::pair(c, quint8(0)));
    return found != table.end() && found->first == c ? found->second : -1;
}

} // namespace

const HighHalf &windows1252()
{
    static const HighHalf table = makeWindows1252();
    return table;
}

const HighHalf &inUse()
{
    static const HighHalf table = [] {
        HighHalf system{};
        return systemHighHalf(system) ? system : windows1252();
    }();
    return table;
}

QString decode(QByteArrayView bytes)
{
    const HighHalf &table = inUse();
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        *out++ = QChar(u < 0x80 ? char16_t(u) : table[u - 0x80]);
    }
    return text;
}

bool encode(QStringView text, QByteArray &out)
{
    out.resize(text.size());
    char *p = out.data();
    for (const QChar c : text) {
        const int b = byteFor(c.unicode());
        if (b < 0)
            return false;
        *p++ = char(b);
    }
    return true;
}

bool canEncode(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return byteFor(c.unicode()) >= 0; });
}

} // namespace ansi
