#pragma once

#include "settingscodec.h"

#include <QString>

// settings.dat on disk. Both calls open, transfer and close within the call.
namespace settingsfile {

// Reads the four records into a copy of `start`. A missing file is created
// empty, as it always was; a file that cannot be created or read leaves the
// values of `start` and says why in `error`.
Settings load(const QString &path, const Settings &start, QString *error = nullptr);

// Writes all four records; bytes after them in an existing file are kept.
bool save(const QString &path, const Settings &settings, QString *error = nullptr);

} // namespace settingsfile
