#pragma once

#include <QString>

namespace brimo::sim {

// A misbehaviour the tool is told to show on a run, for tests and demonstrations.
struct ToolFault {
    enum class Kind { None, Exit, Crash, NoFile, EmptyFile, Delay };
    Kind kind = Kind::None;
    int value = 0; // the exit code or the delay in milliseconds

    // "ok", "exit N", "crash", "nofile", "emptyfile" or "delay MS"; anything
    // else gives None and a message in *error.
    static ToolFault parse(const QString &line, QString *error);
};

// The fault for this run: the first line of `faultsFile`, which is removed
// from the file, else the one in the environment variable, else none.
ToolFault takeToolFault(const QString &faultsFile, const QByteArray &environmentValue,
                        QString *error);

} // namespace brimo::sim
