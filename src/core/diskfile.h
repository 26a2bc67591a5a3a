#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Files as the bar meets them on a real desk: full disks, read-only mounts,
// files another program replaced, named pipes and devices where a note
// should be. Every call opens, transfers and closes within the call, never
// blocks on something that is not a regular file, and says what went wrong
// in words for the user.
namespace diskfile {

enum class Kind
{
    Missing, // nothing there, or a link that leads nowhere
    Regular,
    Folder,
    Pipe,
    Device,
    Socket,
    Other
};

// What `path` is, following links.
Kind kindOf(const QString &path);
// "a folder", "a named pipe", ...: to finish "it is ..." in a message.
QString describe(Kind kind);

// The file a write to `path` lands in: links are followed, as a save keeps
// the link and replaces what it points to.
QString finalTarget(const QString &path);

// The reason an operating-system error gives, in plain words ("the disk is
// full"); `fallback` when the error is not one a user meets.
QString plainReason(int error, const QString &fallback = QString());

// Reads a regular file (or a link to one) of at most `limit` bytes. A pipe,
// a device or a socket is refused without being opened, so nothing waits
// for a writer that never comes. On failure `out` is left as it was.
enum class ReadStatus
{
    Read,
    Missing,
    Failed
};
ReadStatus readFile(const QString &path, qint64 limit, QByteArray &out, QString *error = nullptr);

// True when `path` is a regular file this process may open for reading.
bool canRead(const QString &path);

// Replaces `path` whole with `bytes`, or leaves it as it was: the bytes go
// to a new file beside it, each write and the flush to the disk are checked,
// and only then does the new file take the old one's name. A folder, pipe,
// device or socket at `path` (or where its link leads) is never replaced.
bool replace(const QString &path, QByteArrayView bytes, QString *error = nullptr);

// How notes reach the disk: `replace`, unless a test puts one in its place
// that fails on purpose.
using Writer = std::function<bool(const QString &path, QByteArrayView bytes, QString *error)>;

// Writes a file that must not exist yet; used for copies that must never
// take the place of anything.
bool createNew(const QString &path, QByteArrayView bytes, QString *error = nullptr);

// Who a file is, cheaply: a changed stamp means that someone may have
// written, replaced or removed it since the stamp was taken.
struct Stamp
{
    Kind kind = Kind::Missing;
    qint64 size = -1;
    qint64 modified = 0; // nanoseconds where the system keeps them
    qint64 changed = 0;  // the inode's change time, which no program can set
    quint64 device = 0;
    quint64 inode = 0;

    friend bool operator==(const Stamp &, const Stamp &) = default;
};
Stamp stampOf(const QString &path);

// Keeps the file at `path` (where its link leads) under `asidePath` as well,
// without copying it where the system allows (a second name for the same
// file), else by moving it. Neither name is written over.
bool keepAside(const QString &path, const QString &asidePath, QString *error = nullptr);

// "<folder>/<stem> (<label>)<suffix>", or with " 2", " 3" ... added to the
// label, whichever name is free.
QString freeName(const QString &folder, const QString &stem, const QString &label,
                 const QString &suffix);

// Whether files can be created in a folder. Full is told apart from refused:
// a full disk is no reason to keep files somewhere else.
enum class FolderAccess
{
    Writable,
    Full,
    Refused
};
FolderAccess folderAccess(const QString &folder, QString *why = nullptr);

} // namespace diskfile
