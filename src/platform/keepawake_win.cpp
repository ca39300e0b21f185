#include "platform/keepawake.h"

#include <windows.h>

namespace brimo {

// The execution state belongs to the calling thread, the window's; the system
// drops both it and the shutdown reason when the program ends in any way.
bool KeepAwake::acquire()
{
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    if (m_shutdown == Shutdown::Blocked && m_window != 0)
        ShutdownBlockReasonCreate(reinterpret_cast<HWND>(m_window),
                                  reinterpret_cast<LPCWSTR>(reason().utf16()));
    return true;
}

void KeepAwake::releaseHeld()
{
    if (m_shutdown == Shutdown::Blocked && m_window != 0)
        ShutdownBlockReasonDestroy(reinterpret_cast<HWND>(m_window));
    SetThreadExecutionState(ES_CONTINUOUS);
}

} // namespace brimo
