#pragma once

#include <QString>

// The operating-system family the bar's outline and fading depend on.
namespace WindowsVersionDetect {

inline const QString kFamilyNew = QStringLiteral("Windows 2000/XP or Server 2003");
inline const QString kFamilyOld = QStringLiteral("Windows 95/98/Me or NT 4.0");

// Set by DetectWindowsVersion; compared by exact string equality.
extern QString OSFamily;

// The family for a version word as GetVersion gives it: low byte major,
// next byte minor, compared as major + minor / 100 against 5.
QString familyForVersionWord(quint32 versionWord);

// The version word of this system. Elsewhere than Windows the bar behaves
// as on the newer family, since Qt gives it both the outline and the alpha.
quint32 systemVersionWord();

// Sets OSFamily from the version word of this system, or of the source set
// below (for trying the other family where it cannot be had for real).
void DetectWindowsVersion();
void setVersionSource(quint32 (*source)());

} // namespace WindowsVersionDetect
