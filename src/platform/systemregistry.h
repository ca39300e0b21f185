#pragma once

// The one place that picks the registry backend for the operating system.
#if defined(_WIN32)
#include "platform/registry_win.h"
namespace brimo {
using SystemRegistry = WinRegistry;
}
#else
#include "platform/registry_file.h"
namespace brimo {
using SystemRegistry = FileRegistry;
}
#endif
