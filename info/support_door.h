// Opening the support window with the signed-in user's own rights. The browser control in it
// loads web content and takes its settings from the user's registry, which any program of that
// user can change: it must not run inside a copy of the program that holds raised rights.
#pragma once

#include "desktop_shell.h"
#include "message_loop.h"
#include "notices.h"
#include "start_options.h"
#include "support_window.h"

namespace dva {

// The run of a copy started with kSupportSwitch: shows the support window, or brings forward the
// one another such copy already shows, and returns the exit code once the window is closed.
int runSupportCopy();

// What accepting the agreement does. Not elevated: the support window of this process opens (the
// same one if it is open). Elevated: a second copy of the program is started as a child of the
// desktop shell, with the shell's rights, to show it; without a desktop shell, or if the copy
// cannot start, the user is told and no window opens. COM must be up. `findShell` finds the
// desktop shell (desktopShellWindow) unless a test gives its own.
void openSupport(Notices& notices, Single<SupportWindow>& inProcess, ShellWindowFinder findShell = desktopShellWindow);

}  // namespace dva
