// Starting programs with the rights of the signed-in user's desktop shell rather than this
// program's own, which may be raised.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "elevation.h"

#include "web_page.h"

namespace dva {

// The desktop shell's window: the system's record of it, or else the desktop that the shell's
// windows list names (Wine's desktop keeps no record); null when there is none.
HWND desktopShellWindow();
// How a desktop shell is found: desktopShellWindow unless a test gives its own.
using ShellWindowFinder = HWND (*)();

// Asks the desktop shell (Explorer) to open `file` with `arguments`, as the user would from the
// desktop, so that whatever starts runs with the shell's rights. S_OK when the shell started it,
// S_FALSE when the shell could not, an error when there is no desktop shell to ask.
HRESULT openThroughDesktopShell(std::wstring_view file, std::wstring_view arguments, int show);

// This process's environment block with the compatibility layer that runs a program as its
// caller asks (__COMPAT_LAYER=RunAsInvoker) in place of any layer it had: Windows reads the layer
// from the environment a program is started with, and a program whose manifest asks for the
// highest rights then starts without asking to be raised.
std::vector<wchar_t> invokerEnvironment();

// Starts `program` (a full path) with `arguments` as a child of the desktop shell's process, so
// that it runs with the shell's rights (the user's own, unraised) and not with this program's.
// The program is run as its caller asks, whatever its manifest requests: a program that asks for
// the highest rights would otherwise ask to be raised again. S_OK when it started,
// kRefusedNoDesktopShell when there is no desktop shell, another error when it could not be
// started. It is started held and looked at first: if it would run raised although the shell
// does not, or its rights cannot be read, it is ended before it runs and the answer is
// kRefusedRaisedStart. COM must be up. `elevated` is the token's answer (processElevated), asked
// of the shell's process and then of the new one, unless a test gives its own (and the shell too).
// The exit code such a program is ended with: the system's "the operation requires elevation" (740).
inline constexpr UINT kEndedAsRaised = 740;
using ElevationCheck = std::optional<bool> (*)(HANDLE process);
HRESULT startWithDesktopShellRights(const std::wstring& program, std::wstring_view arguments,
                                    ElevationCheck elevated = processElevated,
                                    ShellWindowFinder findShell = desktopShellWindow);

// Web pages opened for the user (see WebPageOpener): from a raised program through the desktop
// shell, so that the browser gets the user's own rights; otherwise started from here.
class DesktopWebPages final : public WebPageOpener {
public:
    explicit DesktopWebPages(ShellWindowFinder findShell = desktopShellWindow) : findShell_(findShell) {}
    OpResult openWebPage(std::wstring_view browserPath, std::wstring_view address) override;

private:
    ShellWindowFinder findShell_;
};

}  // namespace dva
