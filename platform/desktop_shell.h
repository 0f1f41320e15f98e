// Starting programs with the rights of the signed-in user's desktop shell rather than this
// program's own, which may be raised.
#pragma once

#include <windows.h>

#include <string_view>

namespace dva {

// Whether this process runs with raised (administrator) rights.
bool runningElevated();

// Asks the desktop shell (Explorer) to open `file` with `arguments`, as the user would from the
// desktop, so that whatever starts runs with the shell's rights. S_OK when the shell started it,
// S_FALSE when the shell could not, an error when there is no desktop shell to ask.
HRESULT openThroughDesktopShell(std::wstring_view file, std::wstring_view arguments, int show);

}  // namespace dva
