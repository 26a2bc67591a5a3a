// What Windows tells of a file that Qt does not: its identity (volume and
// file index, which a replace by rename changes) and its change time, which
// no program can set back, to the 100 ns.
#include "diskfile_p.h"

#include <windows.h>

namespace diskfile::internal {

bool systemStamp(const QString &path, Stamp &stamp)
{
    // No access asked for: reading attributes needs none and disturbs no
    // other program's share mode; the flag lets a folder be opened too.
    const HANDLE file =
        ::CreateFileW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()), 0,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION identity = {};
    FILE_BASIC_INFO times = {};
    const bool known = ::GetFileInformationByHandle(file, &identity) &&
                       ::GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times);
    ::CloseHandle(file);
    if (!known)
        return false;
    stamp.device = identity.dwVolumeSerialNumber;
    stamp.inode = (quint64(identity.nFileIndexHigh) << 32) | identity.nFileIndexLow;
    stamp.size = (qint64(identity.nFileSizeHigh) << 32) | identity.nFileSizeLow;
    // In units of 100 ns; only compared, so the epoch does not matter.
    stamp.modified = times.LastWriteTime.QuadPart * 100;
    stamp.changed = times.ChangeTime.QuadPart * 100;
    return true;
}

bool systemLink(const QString &target, const QString &link)
{
    // NTFS gives a file a second name as Unix does; FAT cannot, and the
    // caller moves the file instead.
    return ::CreateHardLinkW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(link).utf16()),
                             reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(target).utf16()),
                             nullptr);
}

} // namespace diskfile::internal
