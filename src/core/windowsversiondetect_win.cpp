#include "windowsversiondetect.h"

#include <windows.h>

namespace WindowsVersionDetect {

quint32 systemVersionWord()
{
    // Deprecated, but the family rule is defined on its word.
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
    return quint32(::GetVersion());
}

} // namespace WindowsVersionDetect
