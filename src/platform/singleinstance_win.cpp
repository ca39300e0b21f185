#include "platform/singleinstance.h"

#include <windows.h>

namespace brimo {

SingleInstance::SingleInstance(const QString &lockPath) : m_path(lockPath) {}

SingleInstance::~SingleInstance()
{
    if (m_handle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

// A named mutex in the session's namespace ("Local\"), which no other user's
// session sees. Its handle is inheritable and Qt starts programs with the
// handles they may inherit, so the flash tool holds one too: the name exists
// until the last handle is closed, by whichever of them ends last. Nobody
// owns the mutex; that it exists is the lock.
bool SingleInstance::tryLock()
{
    // The name may hold any character but the backslash.
    const QString name = QStringLiteral("Local\\") + QString(m_path).replace(u'\\', u'/');
    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE mutex = CreateMutexW(&inheritable, FALSE, reinterpret_cast<LPCWSTR>(name.utf16()));
    const DWORD error = GetLastError();
    if (!mutex)
        return error != ERROR_ACCESS_DENIED; // one made by a copy with other rights
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    m_handle = reinterpret_cast<qintptr>(mutex);
    return true;
}

} // namespace brimo
