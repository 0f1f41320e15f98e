#include "message_loop.h"

#include <string>

#include "number_text.h"

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
    // Only keyboard messages can be dialog keys, so only they need the active window: the query
    // is a round trip to the window server under Wine, and the scan timer's message comes every
    // second.
    const bool key = msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST;
    HWND active = key ? GetActiveWindow() : nullptr;
    Window* w = Window::fromHandle(active);
    if (!(w && w->wantsDialogKeys() && IsDialogMessageW(active, &msg))) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void showRuntimeError(unsigned long code, const wchar_t* what) {
    std::wstring text = L"Çalışma zamanı hatası " + decimalText(code) + L":\n" + what;
    OpenBox open;  // no scan may run behind the report
    MessageBoxW(nullptr, text.c_str(), L"Dravonil Veriz Avize", MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
}

void runtimeErrorReport(unsigned long code, const wchar_t* what) {
    showRuntimeError(code, what);
    ExitProcess(static_cast<UINT>(code ? code : 1));
}

}  // namespace dva
