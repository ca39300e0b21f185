#include "platform/keepawake.h"

namespace brimo {

namespace {

// The flash tool runs one at a time, so there is at most one hold.
KeepAwake *g_current = nullptr;

} // namespace

KeepAwake::KeepAwake(Shutdown shutdown, quintptr window) : m_shutdown(shutdown), m_window(window)
{
    m_held = acquire();
    g_current = this;
}

void KeepAwake::release()
{
    if (m_held)
        releaseHeld();
    m_held = false;
    if (g_current == this)
        g_current = nullptr;
}

bool KeepAwake::blocksShutdown()
{
    return g_current && g_current->m_shutdown == Shutdown::Blocked;
}

} // namespace brimo
