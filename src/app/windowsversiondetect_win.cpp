#include "windowsversiondetect.h"

#include <windows.h>

namespace WindowsVersionDetect {

quint32 systemVersionWord()
{
#pragma warning(suppress : 4996) // the family rule is defined on GetVersion's word
    return quint32(::GetVersion());
}

} // namespace WindowsVersionDetect
