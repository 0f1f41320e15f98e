// The run-time error report: how the program ends on a failure it cannot go on from.
#pragma once

namespace dva {

// Shows the error number and what failed in a box, then ends the process with that number
// (1 when it is 0). Only for the failures that still end the program, such as a window that
// cannot be created; every other failure is reported and the program goes on.
[[noreturn]] void runtimeErrorReport(unsigned long code, const wchar_t* what);

// The report's box alone; it counts as an open message box while it waits.
void showRuntimeError(unsigned long code, const wchar_t* what);

}  // namespace dva
