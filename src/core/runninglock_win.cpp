// The system's own byte-range lock on an open file: it ends with the
// process however the process ends, so a bar that was killed (or a session
// ended hard) never leaves a lock behind, and nothing is judged by process
// ids, which the system hands out again.
#include "runninglock.h"

#include <QCoreApplication>
#include <QDir>

#include <windows.h>

namespace {

// Others may open, read and even delete the file while it is held (a
// backup or sync tool); only the lock itself is exclusive.
HANDLE openLockFile(const QString &path, DWORD access)
{
    return ::CreateFileW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
}

QString systemMessage(DWORD error)
{
    wchar_t *text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    QString message = length ? QString::fromWCharArray(text, int(length)).trimmed()
                             : QStringLiteral("error %1.").arg(error);
    ::LocalFree(text);
    return message;
}

} // namespace

struct RunningLock::Handle
{
    HANDLE file = INVALID_HANDLE_VALUE;
    ~Handle()
    {
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file); // the lock goes with it
    }
};

RunningLock::RunningLock(QString path) : m_path(std::move(path)) {}

RunningLock::~RunningLock() = default;

RunningLock::Result RunningLock::tryLock()
{
    auto handle = std::make_unique<Handle>();
    handle->file = openLockFile(m_path, GENERIC_READ | GENERIC_WRITE);
    if (handle->file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED)
        handle->file = openLockFile(m_path, GENERIC_READ); // made by another user
    DWORD error = ::GetLastError();
    if (handle->file != INVALID_HANDLE_VALUE) {
        // Only a file on a disk can be locked; a device or pipe under the
        // name is refused.
        if (::GetFileType(handle->file) == FILE_TYPE_DISK) {
            OVERLAPPED start = {};
            if (::LockFileEx(handle->file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                             1, 0, &start)) {
                m_handle = std::move(handle);
                return Result::Acquired;
            }
            error = ::GetLastError();
            if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING)
                return Result::HeldElsewhere;
        } else {
            error = ERROR_INVALID_NAME;
        }
    }
    m_error = QCoreApplication::translate("RunningLock", "Could not use the lock file \"%1\": %2")
                  .arg(QDir::toNativeSeparators(m_path), systemMessage(error));
    return Result::Failed;
}
