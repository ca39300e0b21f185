#pragma once

#include <QStringList>

namespace brimo::sim {

// Carries out one of the utility's two command lines (the arguments after the
// program name) against the device on COM n and returns the exit code:
//   0 done, 2 not one of the two command lines, 3 COM n cannot be opened or
//   the device does not answer (off, or not in D/L mode), 4 a bad record in
//   the image (nothing was sent), 5 the device stopped answering or refused
//   the image, 6 FILE cannot be read or written.
// What went wrong goes to stderr.
int runFlashTool(const QStringList &arguments);

} // namespace brimo::sim
