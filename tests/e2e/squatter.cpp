// A stand-in for a program of the user that takes the program's single-copy name before it
// starts: copied as "Dravonil Veriz Avize.exe" into another folder, it claims the name with a
// record that names itself and shows a window of the main window's class, as a fake copy would.
// Every come-forward request it gets appends a line to C:\dva-e2e-squatter-asked.txt. It ends by
// itself after two minutes.
#include <windows.h>

#include "product_config.h"
#include "window_classes.h"

namespace {

// The names a squatter would read off a running copy (with a tool like WinObj or Spy++).
constexpr wchar_t kSingleCopyName[] = DVA_SINGLE_COPY_NAME;

LRESULT CALLBACK fakeMain(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == RegisterWindowMessageW(DVA_PRODUCT_NAME L": öne gel")) {
        HANDLE log = CreateFileW(L"C:\\dva-e2e-squatter-asked.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        if (log != INVALID_HANDLE_VALUE) {
            WriteFile(log, "asked\r\n", 7, &written, nullptr);
            CloseHandle(log);
        }
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    HANDLE name = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, kSingleCopyName);
    if (!name || GetLastError() == ERROR_ALREADY_EXISTS) return 2;
    auto* record = static_cast<volatile LONG*>(MapViewOfFile(name, FILE_MAP_WRITE, 0, 0, 64));
    if (!record) return 3;
    *record = static_cast<LONG>(GetCurrentProcessId());
    UnmapViewOfFile(const_cast<LONG*>(record));  // the open handle keeps the name and its record

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = fakeMain;
    wc.hInstance = instance;
    wc.lpszClassName = dva::window_class::kMain;
    RegisterClassExW(&wc);
    if (!CreateWindowExW(0, dva::window_class::kMain, DVA_PRODUCT_NAME, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                         nullptr, nullptr, instance, nullptr))
        return 4;
    SetTimer(nullptr, 0, 120000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && !msg.hwnd) break;
        DispatchMessageW(&msg);
    }
    return 0;
}
