#pragma once

#include <QString>

// The file helpers of the Options dialog, kept apart from it so that they
// can be tried without a display.
namespace filenames {

// True only for a file this process can open for reading now: a missing
// file, one it may not read and a folder all count as absent.
bool FileExists(const QString &path);

// The last part of a path. Both separators count, since stored paths may
// come from Windows and this platform uses "/".
QString GetFileName(const QString &path);

} // namespace filenames
