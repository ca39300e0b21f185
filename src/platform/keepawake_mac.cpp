#include "platform/keepawake.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/pwr_mgt/IOPMLib.h>

namespace brimo {

// An assertion that keeps the system from sleeping while the user is idle;
// the system releases it when the program ends in any way. macOS offers a
// program no way to hold back a shutdown with a reason.
bool KeepAwake::acquire()
{
    const CFStringRef name = reason().toCFString();
    IOPMAssertionID id = kIOPMNullAssertionID;
    const IOReturn result = IOPMAssertionCreateWithName(
        kIOPMAssertionTypePreventUserIdleSystemSleep, kIOPMAssertionLevelOn, name, &id);
    CFRelease(name);
    m_cookie = id;
    return result == kIOReturnSuccess;
}

void KeepAwake::releaseHeld()
{
    IOPMAssertionRelease(static_cast<IOPMAssertionID>(m_cookie));
}

} // namespace brimo
