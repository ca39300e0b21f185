#pragma once

#include <QString>

#include <optional>

namespace brimo {

class SingleInstance;

// Run first, before anything else: takes the single-copy lock. The exit code
// of a program that must not go on: another copy runs (its window comes to
// the front; when it belongs to another user of the PC, one box says so), or
// the lock cannot be set up (one box says why).
std::optional<int> takeSingleCopyLock(SingleInstance &instance);

// Run once at start-up, before the window: removes what an earlier run left
// of a download in the program's folder `appFolder`, and is true when the
// program can write there, where the flash tool's work file goes. Otherwise
// one box names the folder and says how to get the right, and the result is
// false: the program ends, rather than ask for power cycles that cannot help.
bool checkApplicationFolder(const QString &appFolder);

} // namespace brimo
