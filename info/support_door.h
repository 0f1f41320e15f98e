// Opening the support window with the signed-in user's own rights. The browser control in it
// loads web content and takes its settings from the user's registry, which any program of that
// user can change: it must not run inside a copy of the program that holds raised rights.
#pragma once

#include "message_loop.h"
#include "runtime.h"
#include "support_window.h"

namespace dva {

// The switch with which the program shows only the support window: no splash, no main window,
// no scan, no claim on the single-copy name. The program starts itself with it.
inline constexpr wchar_t kSupportSwitch[] = L"/support";

// Whether this process was started with kSupportSwitch (a word of its own, in any case).
bool startedForSupport();

// The run of a copy started with kSupportSwitch: shows the support window, or brings forward the
// one another such copy already shows, and returns the exit code once the window is closed.
int runSupportCopy();

// What accepting the agreement does. Not elevated: the support window of this process opens (the
// same one if it is open). Elevated: a second copy of the program is started as a child of the
// desktop shell, with the shell's rights, to show it; without a desktop shell, or if the copy
// cannot start, the user is told and no window opens. COM must be up.
void openSupport(Runtime& rt, Single<SupportWindow>& inProcess);

}  // namespace dva
