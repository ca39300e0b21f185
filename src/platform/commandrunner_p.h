#pragma once

#include "platform/places.h"

#include <QString>
#include <QStringList>

class QProcess;

namespace brimo {

// The command runHidden() runs now, or null.
QProcess *runningCommand();

// What the program is started with besides its command line: the Wine that
// runs a Windows program elsewhere, and the single-copy lock to hand on.
struct RunWith {
    Wine wine;
    qintptr heldLock = -1;
};

// The per-system part of starting a command hidden: may replace the program
// (a Windows program run through `wine`) and adjust how the process is created
// (on Windows, from the command line as written). Returns why the command
// cannot be started, empty when it can.
QString preparePlatformRun(QProcess &process, const QString &commandLine, const RunWith &with,
                           QString &program, QStringList &arguments);

} // namespace brimo
