#pragma once

#include <QByteArray>
#include <QString>

// Replaces `path` with `bytes` so that a crash, a power cut or a full disk
// leaves either the old file or the new one, never a mix. On failure the old
// file is untouched and `error` says what went wrong, in words for the user.
bool writeFileAtomically(const QString &path, QByteArrayView bytes, QString *error = nullptr);

// Reads at most `limit` bytes of a regular file. Fails with a message for a
// folder, an unreadable file or one larger than `limit`.
bool readSmallFile(const QString &path, qint64 limit, QByteArray &out, QString *error = nullptr);
