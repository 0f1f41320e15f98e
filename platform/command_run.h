// Starting a command line as a new process of the program's own, as the engine's port asks.
#pragma once

#include <string_view>

#include "runtime.h"

namespace dva {

// Starts the command line minimised with focus (in the background: minimised without taking the
// focus) and waits for it to end at most waitMs milliseconds (0: does not wait), the program's
// windows handling their messages meanwhile. The result tells whether the process started.
OpResult runCommandLine(std::wstring_view line, unsigned waitMs, bool inBackground);

}  // namespace dva
