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
    if (w && w->wantsDialogKeys()) {
        // An embedded control with keys of its own (the support page) sees them first; the
        // dialog manager gets only what it leaves.
        if (w->translateControlKey(msg)) return;
        // Esc closes nothing: no window of the program has a cancel meaning. A multi-line text
        // box in dialog mode would otherwise close its window on it.
        if ((msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR) &&
            msg.wParam == VK_ESCAPE)
            return;
        if (IsDialogMessageW(active, &msg)) {
            w->markDefaultButton(GetFocus());
            return;
        }
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    // A click may have moved the focus onto a button, or off one.
    if (msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN) {
        if (Window* clicked = Window::fromHandle(GetAncestor(msg.hwnd, GA_ROOT))) clicked->markDefaultButton(GetFocus());
    }
}

void waitHandlingMessages(HANDLE object, DWORD ms) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        const DWORD woke = MsgWaitForMultipleObjectsEx(1, &object, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                                       MWMO_INPUTAVAILABLE);
        if (woke != WAIT_OBJECT_0 + 1) return;  // ended, timed out or failed
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));  // for the event loop to see
                return;
            }
            dispatchMessage(msg);
        }
    }
}


}  // namespace dva
