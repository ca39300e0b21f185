#pragma once

#include <QString>

#include <functional>

namespace brimo {

// Not on Windows: the Wine that runs a Windows flash tool (no loader: none
// found), and the folder of its drive and port links ("z:", "com3").
struct Wine {
    QString loader;
    QString devices;
};

// Where the utility meets what lies outside it. Made once as the program
// starts, from the environment src/main.cpp reads (placesFrom()), and handed
// down as this one value: nothing below main() reads the environment.
struct Places {
    // The program's own folder: the flash tool is there, and the work file
    // and a download that is on its way go there.
    QString appFolder;
    // The vendor's web service: "host" or "host:port".
    QString serviceHost;
    // The single-copy lock: a file, or on Windows the name of a system object.
    QString lockPath;
    // Not on Windows: the folder whose `comN` links name the COM ports, and
    // the file that stands in for the registry.
    QString comFolder;
    QString settingsFile;
    Wine wine;
};

// The vendor's own host. It does not resolve outside the vendor's own
// network setup.
inline constexpr char kVendorHost[] = "updates.brimo.example";

// The value of an environment variable, empty when it is not set.
using Environment = std::function<QString(const char *name)>;

// The places as the environment sets them, for the program in `appFolder`.
// BRIMO_SERVICE_HOST points it at another web service (host or host:port);
// elsewhere than Windows, BRIMO_COM_DIR at another folder of `comN` links
// (else Wine's own, in ${WINEPREFIX:-~/.wine}), BRIMO_REGISTRY_FILE at
// another settings file, BRIMO_WINE at another Wine (a bundled one on a Mac);
// the lock is in $XDG_RUNTIME_DIR, else beside the settings file.
Places placesFrom(const Environment &environment, const QString &appFolder);

} // namespace brimo
