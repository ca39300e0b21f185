#pragma once

#include <QString>

namespace brimo {

// Not on Windows: the Wine that runs a Windows flash tool (no loader: none
// found), and the folder of its drive and port links ("z:", "com3").
struct Wine {
    QString loader;
    QString devices;
};

// Where the utility meets what lies outside it. Read once as the program
// starts (src/main.cpp) and handed down as this one value: nothing below
// main() reads the environment.
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

} // namespace brimo
