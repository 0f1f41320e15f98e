#include "message_loop.h"

#include <string>

namespace dva {

int MessageLoop::run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        dispatchMessage(msg);
        retired_.clear();
    }
    return static_cast<int>(msg.wParam);
}

void dispatchMessage(MSG& msg) {
    HWND active = GetActiveWindow();
    Window* w = Window::fromHandle(active);
    if (!(w && w->wantsDialogKeys() && IsDialogMessageW(active, &msg))) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void showRuntimeError(unsigned long code, const wchar_t* what) {
    std::wstring text = L"Çalışma zamanı hatası " + std::to_wstring(code) + L":\n" + what;
    OpenBox open;  // no scan may run behind the report
    MessageBoxW(nullptr, text.c_str(), L"Dravonil Veriz Avize", MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
}

void runtimeErrorReport(unsigned long code, const wchar_t* what) {
    showRuntimeError(code, what);
    ExitProcess(static_cast<UINT>(code ? code : 1));
}

}  // namespace dva
