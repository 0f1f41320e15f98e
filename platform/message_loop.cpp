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

}  // namespace dva
