// The floor of the whole-process figures: the barest Win32 program that does what the resident
// program must do.
//
//   dva_floor            a bare caption-less popup of the splash's shape, shown at once: the
//                        floor for the time from start to the first visible window
//   dva_floor --idle     the same window with a 1 s timer that tests the 19 threat paths and
//                        nothing else: the floor for idle CPU and memory without an icon
//   dva_floor --icon     as --idle, and it keeps one notification-area icon, as the program
//                        must; the floor that idle CPU and memory are compared with
//
// dva_floor_themed is the same program built with the program's manifest and with the common
// controls initialised as the program does: the themed controls (common controls 6) that the
// program's windows must have, and what loading them costs, with nothing else.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "threat_table.h"

namespace {

constexpr UINT_PTR kTick = 1;
volatile DWORD g_seen;  // keeps the attribute tests from being optimised away

LRESULT CALLBACK floorProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TIMER: {
        DWORD all = 0;
        for (const dva::ThreatEntry& entry : dva::kThreatTable) all ^= GetFileAttributesW(entry.path);
        g_seen = all;
        return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(h, msg, wp, lp);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR args, int) {
    const bool icon = std::wcsstr(args, L"--icon") != nullptr;
    const bool idle = icon || std::wcsstr(args, L"--idle") != nullptr;
#if defined(DVA_FLOOR_THEMED)
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
#endif

    WNDCLASSW wc{};
    wc.lpfnWndProc = floorProc;
    wc.hInstance = instance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = L"DvaFloor";
    RegisterClassW(&wc);
    // The splash's frame and size at 96 dpi: a 481 x 200 client area inside a dialog frame.
    RECT r{0, 0, 481, 200};
    AdjustWindowRectEx(&r, WS_POPUP | WS_DLGFRAME, FALSE, WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW);
    HWND h = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW, wc.lpszClassName, L"",
                             WS_POPUP | WS_DLGFRAME | WS_VISIBLE, 100, 100, r.right - r.left, r.bottom - r.top,
                             nullptr, nullptr, instance, nullptr);
    if (!h) return 1;
    if (idle) SetTimer(h, kTick, 1000, nullptr);
    NOTIFYICONDATAW n{};
    if (icon) {
        n.cbSize = sizeof n;
        n.hWnd = h;
        n.uID = 1;
        n.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
        n.uCallbackMessage = WM_APP;
        n.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
        constexpr wchar_t tip[] = L"Floor";  // copied as an array: Visual C++ rejects wcscpy
        std::copy(std::begin(tip), std::end(tip), n.szTip);
        Shell_NotifyIconW(NIM_ADD, &n);
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    if (icon) Shell_NotifyIconW(NIM_DELETE, &n);
    return 0;
}
