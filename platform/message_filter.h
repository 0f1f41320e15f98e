// Letting chosen messages from less privileged processes reach a window of an elevated program.
#pragma once

#include <windows.h>

#include <initializer_list>

namespace dva {

// ChangeWindowMessageFilterEx, as user32 exports it from Windows 7 on.
using ChangeFilterFn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);

// The system's ChangeWindowMessageFilterEx, looked up at run time; nullptr on older systems.
ChangeFilterFn systemChangeFilter();

// Windows drops messages that a process with fewer rights (Explorer, for one) sends to an
// elevated window, unless the window lets them through. Allows exactly these messages to the
// window; a system without the call, or a call that fails, leaves the window as it was.
void allowFromLessPrivileged(HWND window, std::initializer_list<UINT> messages,
                             ChangeFilterFn change = systemChangeFilter());

}  // namespace dva
