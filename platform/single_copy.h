// One copy of the program per signed-in user session.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "handles.h"

namespace dva {

// The running copy is found through a named object in the session's own namespace that holds its
// process id; the copy is asked to come forward through its own window, found in that process.
// The system removes the name when the process that holds it ends, even after a crash.
//
// Any program of the user could make an object of that name first, so the name is only a hint:
// a process counts as a running copy only when it runs this very program file and with rights
// no lower than this one's. When the name leads nowhere trustworthy, the copy is looked for by
// its windows; when none is found, this start runs as the first copy.
class SingleCopy {
public:
    // Claims the name, or finds the copy that holds it. Waits up to a second for a copy that is
    // still starting to show its first window.
    SingleCopy();
    SingleCopy(const SingleCopy&) = delete;
    SingleCopy& operator=(const SingleCopy&) = delete;

    // The window of another running copy of this program, or nullptr.
    HWND runningCopy() const { return other_; }
    // Lets the running copy take the foreground and asks it to come forward.
    void handOver() const;

    // The message a copy's main window or splash answers by coming forward.
    static UINT comeForwardMessage();

private:
    UniqueHandle name_;
    HWND other_ = nullptr;
};

// The full path of this process's program file; empty if the system does not say.
std::wstring thisProgramFile();

// The mandatory integrity level of a process's token (its last sub-authority); nullopt when it
// cannot be read.
std::optional<DWORD> integrityOf(HANDLE process);
using IntegrityReader = std::optional<DWORD> (*)(HANDLE process);

// Whether process `pid` (another one) runs this program's file, by its full path, with an
// integrity level no lower than this process's. A process whose level cannot be read is not.
bool runsThisProgram(DWORD pid, IntegrityReader integrity = integrityOf);

// Ends the other running copies of this program (by its file, whatever their rights) that show a
// window of the class: asks each such window to close, as the user would, and ends a copy by its
// handle only if it has not gone within `graceMs`.
void closeCopiesShowing(const wchar_t* className, DWORD graceMs);

// A visible top-level window of the class in another process that runs this program, or nullptr.
HWND windowOfThisProgram(const wchar_t* className);

}  // namespace dva
