#pragma once

#include "device/detect.h"
#include "device/device.h"
#include "platform/places.h"
#include "session/pauses.h"
#include "session/updatesession.h"
#include "settings/settingsstore.h"
#include "webservice/webservice.h"

namespace brimo {

// The session's real links, as the program makes them from its places: the
// flash tool, the settings store, the vendor's service, the serial line and
// the thread's sleep. `window`: the native handle of the window the system
// names while a shutdown waits for the flash; `heldLock`: the single-copy
// lock, which the flash tool holds too.
struct RealLinks {
    RealLinks(const Places &places, quintptr window, qintptr heldLock = -1)
        : device(places, window, heldLock), store(places.settingsFile),
          service(places.serviceHost, places.appFolder, store), probe(places.comFolder)
    {}

    SessionLinks links() { return {device, service, probe, store, pauses}; }

    brimo::device device;
    RegistryStore store;
    webservice service;
    SerialPortProbe probe;
    SleepPauses pauses;
};

} // namespace brimo
