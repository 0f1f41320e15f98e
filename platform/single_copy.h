// One copy of the program per signed-in user session.
#pragma once

#include <windows.h>

#include "handles.h"

namespace dva {

// The running copy is found through a named object in the session's own namespace that holds its
// process id; the copy is asked to come forward through its own window, found in that process.
// The system removes the name when the process that holds it ends, even after a crash.
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

}  // namespace dva
