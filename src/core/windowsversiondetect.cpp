#include "windowsversiondetect.h"

namespace WindowsVersionDetect {

QString OSFamily;

namespace {
quint32 (*g_versionSource)() = nullptr;
}

void setVersionSource(quint32 (*source)())
{
    g_versionSource = source;
}

QString familyForVersionWord(quint32 versionWord)
{
    const quint32 w = versionWord & 0xFFFF;
    const int major = int(w % 256);
    const int minor = int(w / 256);
    // Whole hundredths, so that 5.00 compares exactly.
    const int hundredths = major * 100 + minor;
    return hundredths < 500 ? kFamilyOld : kFamilyNew;
}

#ifndef Q_OS_WIN
quint32 systemVersionWord()
{
    return 5; // 5.00
}
#endif

void DetectWindowsVersion()
{
    OSFamily = familyForVersionWord(g_versionSource ? g_versionSource() : systemVersionWord());
}

} // namespace WindowsVersionDetect
