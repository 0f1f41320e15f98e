// Per-monitor dpi through the Windows 10 calls where they exist, the screen's dpi elsewhere.
#pragma once

#include <windows.h>

namespace dva {

int dpiForWindow(HWND h);
// Turns a client rectangle into the window rectangle for the given styles at the given dpi.
void clientToWindowRect(RECT& r, DWORD style, DWORD exStyle, int dpi);

}  // namespace dva
