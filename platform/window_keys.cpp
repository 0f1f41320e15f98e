// The keyboard of the program's windows as dialogs have it, without being dialogs: Tab and
// Shift+Tab round the tab stops, Enter presses the focused button (and no other), the focus
// remembered while the window is inactive and given back on its return. The message loop hands the
// keys to IsDialogMessageW (dispatchMessage); what that sends to the window is answered here.
#include "window.h"

namespace dva {

HWND Window::firstTabStop() const {
    // Children stand in tab order (created so, the browser control put first by its window).
    for (HWND c = GetWindow(hwnd_, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const LONG_PTR style = GetWindowLongPtrW(c, GWL_STYLE);
        if ((style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED)) return c;
    }
    return nullptr;
}

HWND Window::focusedButton() const {
    HWND focus = GetFocus();
    if (!focus || GetParent(focus) != hwnd_) return nullptr;
    const ControlSpec* c = specOf(focus);
    return c && c->kind == ControlKind::Button && IsWindowEnabled(focus) ? focus : nullptr;
}

void Window::markDefaultButton(HWND focus) {
    if (!hwnd_) return;  // destroyed by what the key or click did
    if (focus && GetParent(focus) != hwnd_) focus = nullptr;  // the focus is elsewhere: no button has it
    for (const ControlSpec& c : controls_) {
        if (c.kind != ControlKind::Button) continue;
        HWND button = control(c.id);
        const LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
        const LONG_PTR type = style & BS_TYPEMASK;
        const LONG_PTR wanted = button == focus ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        if (type != wanted) SendMessageW(button, BM_SETSTYLE, static_cast<WPARAM>(wanted), TRUE);
    }
}

void Window::focusControl(HWND c, bool selectText) {
    // Tabbing into a text box selects its text, as in a dialog.
    if (selectText && (SendMessageW(c, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)) SendMessageW(c, EM_SETSEL, 0, -1);
    SetFocus(c);
    markDefaultButton(c);
}

void Window::restoreFocus() {
    HWND c = focus_;
    if (!c || !IsWindow(c) || !IsChild(hwnd_, c) || !IsWindowVisible(c) || !IsWindowEnabled(c)) c = firstTabStop();
    if (c) focusControl(c, false);
}

bool Window::dialogKeyMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    result = 0;
    switch (msg) {
    case WM_COMMAND:
        if (lp || wp != IDOK) return false;
        // Enter, as the dialog manager tells it to a window that is not a dialog: it presses the
        // focused button, and nothing where no button has the focus. (Esc's IDCANCEL has no
        // meaning here.)
        if (HWND button = focusedButton()) routed(Route::Kind::Command, GetDlgCtrlID(button), BN_CLICKED, result);
        result = 0;
        return true;
    case DM_GETDEFID:
        // No window has a default button of its own: Enter goes to the focused button, if any.
        if (HWND button = focusedButton()) result = MAKELRESULT(GetDlgCtrlID(button), DC_HASDEFID);
        return true;
    case WM_NEXTDLGCTL: {
        // Tab and Shift+Tab out of a multi-line text box, and focus moves asked for by the dialog
        // manager: to the given control, or to the next or previous tab stop, round the end.
        HWND focus = GetFocus();
        HWND next = LOWORD(lp) ? reinterpret_cast<HWND>(wp)
                               : GetNextDlgTabItem(hwnd_, focus && IsChild(hwnd_, focus) ? focus : nullptr, wp != 0);
        if (next) focusControl(next, !LOWORD(lp));
        return true;
    }
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE) {
            // Remembered for the user's return, as a dialog does.
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd_, focus)) focus_ = focus;
            return true;
        }
        if (HIWORD(wp)) return false;  // minimised: no control to focus
        // Hidden (the main window behind its icon): giving a control the focus would make the
        // hidden window the active one, taking activation from a box the program just showed.
        if (!IsWindowVisible(hwnd_)) return false;
        if (!firstTabStop()) return false;  // nothing to focus but the window itself (the splash)
        restoreFocus();
        return true;
    case WM_SETFOCUS:
        // The window itself was given the focus: it goes on to its control, if it is seen.
        if (IsWindowVisible(hwnd_) && firstTabStop()) restoreFocus();
        return true;
    default:
        return false;
    }
}

}  // namespace dva
