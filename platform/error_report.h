// The run-time error report: how the program ends on a failure it cannot go on from.
#pragma once

namespace dva {

// Shows the error number and what failed in a box, then ends the process with that number
// (1 when it is 0). Only for the failures that still end the program, such as a window that
// cannot be created; every other failure is reported and the program goes on.
[[noreturn]] void runtimeErrorReport(unsigned long code, const wchar_t* what);

// The report's box alone; runtimeErrorReportOpen() is true while it waits.
void showRuntimeError(unsigned long code, const wchar_t* what);

// Whether the run-time error report is on screen: its modal loop still runs the scan timer, and no
// scan may run behind a report that ends the program.
bool runtimeErrorReportOpen();

}  // namespace dva
