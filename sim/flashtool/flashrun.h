#pragma once

#include <QStringList>

namespace brimo::sim {

// Exit codes of the tool.
enum ToolExit {
    kExitOk = 0,
    kExitUsage = 2,
    kExitNoDevice = 3, // the port cannot be opened or the device does not answer
    kExitBadImage = 4, // a record of the image is bad; nothing was written
    kExitTransfer = 5, // the device stopped answering or refused a request
    kExitFile = 6,     // FILE cannot be read or written
};

// Carries out one command line (the arguments after the program name) and
// returns the exit code; says what went wrong on stderr.
int runFlashTool(const QStringList &arguments);

inline constexpr int kHandshakeTimeoutMs = 2000;

} // namespace brimo::sim
