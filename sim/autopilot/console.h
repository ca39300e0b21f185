#pragma once

#include <QString>

namespace brimo::sim {

// The autopilot's two outputs: the utility's activity log on stdout, as it
// grows, and the autopilot's own narration on stderr, one line each.

// Prints text of the log as it comes, possibly the start of a line.
void printLog(QString text);
// Prints one line of narration, starting it on a line of its own.
void say(const QString &line);

} // namespace brimo::sim
