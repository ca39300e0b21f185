#pragma once

#include "platform/places.h"

#include <QString>

namespace brimo {

// Result of one run of an external command.
struct CommandResult {
    bool started = false; // false: the program could not be started
    int exitCode = -1;    // valid when started
    QString errorText;    // the platform's words for a failure to start or a crash
    // The application was asked to quit while the command ran (the user's
    // session ending): the command was waited for all the same, without the
    // event loop, and its result stands for nothing.
    bool cutShort = false;
};

// Starts a command line hidden and waits for it to end. The calling thread's
// event loop keeps running meanwhile, so the window paints and its timers
// tick. Nothing ends the command before it ends by itself: not the program's
// end, not a request to quit. `heldLock` (SingleInstance::handle()) goes to
// the program too, so that it holds the lock while it runs; on Linux and
// macOS not to a Windows program (a file starting with "MZ"), which is run
// through `wine`, whose background processes would keep it long after.
CommandResult runHidden(const QString &commandLine, const Wine &wine = {}, qintptr heldLock = -1);

// Windows ends every program of a user's session soon after it has told them
// the session ends (WM_ENDSESSION), the flash tool among them: on Windows,
// this makes the program wait there for a command runHidden() runs, before
// it answers. Elsewhere it does nothing.
void waitForCommandsAtSessionEnd();

#ifndef Q_OS_WIN
// The Wine loader on the PATH, or where Debian keeps it when only its 64-bit
// part is installed; empty when there is none.
QString findWineLoader();
#endif

} // namespace brimo
