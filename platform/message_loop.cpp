#include "message_loop.h"

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

}  // namespace dva
