#pragma once

#include <QString>

namespace brimo {

// Run once at start-up, before the window: removes what an earlier run left
// of a download in the program's folder `appFolder`, and is true when the
// program can write there, where the flash tool's work file goes. Otherwise
// one box names the folder and says how to get the right, and the result is
// false: the program ends, rather than ask for power cycles that cannot help.
bool checkApplicationFolder(const QString &appFolder);

} // namespace brimo
