#include "platform/singleinstance.h"

#include <QDir>

#include <windows.h>

namespace brimo {

SingleInstance::SingleInstance(const QString &lockPath) : m_path(lockPath) {}

SingleInstance::~SingleInstance()
{
    if (m_handle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

// The handle is not inheritable, so the flash tool never holds the lock; the
// system unlocks it when the process ends.
bool SingleInstance::tryLock()
{
    const QString path = QDir::toNativeSeparators(m_path);
    const HANDLE file =
        CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return true;
    OVERLAPPED start = {};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start)) {
        m_handle = reinterpret_cast<qintptr>(file);
        return true;
    }
    const DWORD error = GetLastError();
    CloseHandle(file);
    return error != ERROR_LOCK_VIOLATION;
}

} // namespace brimo
