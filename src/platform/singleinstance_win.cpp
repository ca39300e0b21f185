#include "platform/singleinstance.h"

#include <QLocalServer>

#include <windows.h>

namespace brimo {

namespace {

QString systemMessage(DWORD error)
{
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    const QString message = QString::fromWCharArray(text ? text : L"").trimmed();
    LocalFree(text);
    return message;
}

} // namespace

SingleInstance::SingleInstance(const QString &lockPath) : m_path(lockPath) {}

// Only the program the user started last may take the foreground: this one
// hands that right on to the copy it asks to come forward.
void SingleInstance::letOthersComeForward()
{
    AllowSetForegroundWindow(ASFW_ANY);
}

SingleInstance::~SingleInstance()
{
    if (m_handle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

// A named mutex in the namespace of the whole PC ("Global\"), which every
// user's session sees: the work file beside the program is one for all. Its
// handle is inheritable and Qt starts programs with the handles they may
// inherit, so the flash tool holds one too: the name exists until the last
// handle is closed, by whichever of them ends last. Nobody owns the mutex;
// that it exists is the lock. One that another user's copy made may be
// closed to this user.
SingleInstance::Lock SingleInstance::tryLock()
{
    // The name may hold any character but the backslash.
    const QString name = QStringLiteral("Global\\") + QString(m_path).replace(u'\\', u'/');
    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE mutex = CreateMutexW(&inheritable, FALSE, reinterpret_cast<LPCWSTR>(name.utf16()));
    const DWORD error = GetLastError();
    if (!mutex && error == ERROR_ACCESS_DENIED)
        return Lock::HeldByAnother;
    if (!mutex) {
        m_error = name + QStringLiteral(": ") + systemMessage(error);
        return Lock::Unavailable;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return Lock::Held;
    }
    m_handle = reinterpret_cast<qintptr>(mutex);
    return Lock::Taken;
}

} // namespace brimo
