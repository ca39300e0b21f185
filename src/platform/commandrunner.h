#pragma once

#include "platform/places.h"

#include <QString>

namespace brimo {

// Result of one run of an external command.
struct CommandResult {
    bool started = false; // false: the program could not be started
    int exitCode = -1;    // valid when started
    QString errorText;    // the platform's words for a failure to start or a crash
};

// Starts a command line hidden and waits for it to end. The calling thread's
// event loop keeps running meanwhile, so the window paints and its timers
// tick. Ending the program while the command runs does not end the command.
// On Linux and macOS a Windows program (a file starting with "MZ") is run
// through `wine`.
CommandResult runHidden(const QString &commandLine, const Wine &wine = {});

#ifndef Q_OS_WIN
// The Wine loader on the PATH, or where Debian keeps it when only its 64-bit
// part is installed; empty when there is none.
QString findWineLoader();
#endif

} // namespace brimo
