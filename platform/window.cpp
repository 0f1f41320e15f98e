#include "window.h"

#include <algorithm>

#include "dpi.h"
#include "error_report.h"
#include "system_function.h"
#include "twips.h"

namespace dva {
namespace {

HINSTANCE instance() { return GetModuleHandleW(nullptr); }

// uxtheme.dll's SetWindowTheme, looked up in the system folder on first use: the DLL is not one of
// the system's known DLLs, so importing it would let a uxtheme.dll beside the program load first.
// Null when the DLL or the call is missing; the control then keeps its themed look.
using SetWindowThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
SetWindowThemeFn setWindowTheme() {
    static const SetWindowThemeFn fn = [] {
        SetWindowThemeFn f = nullptr;
        lookUp(f, loadSystemLibrary(L"uxtheme.dll"), "SetWindowTheme");
        return f;
    }();
    return fn;
}

void registerClass(const WindowSpec& form, WNDPROC proc) {
    WNDCLASSEXW wc{};
    if (GetClassInfoExW(instance(), form.className, &wc)) return;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // Windows without a colour of their own (kDefaultColour) have the dialogs' button face.
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = form.className;
    if (form.icon) {
        wc.hIcon = static_cast<HICON>(LoadImageW(instance(), MAKEINTRESOURCEW(form.icon), IMAGE_ICON,
                                                 0, 0, LR_DEFAULTSIZE | LR_SHARED));
        wc.hIconSm = static_cast<HICON>(LoadImageW(instance(), MAKEINTRESOURCEW(form.icon), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    }
    RegisterClassExW(&wc);
}

struct ChildClass {
    const wchar_t* name;
    DWORD style;
    DWORD exStyle;
};

ChildClass childClass(const ControlSpec& c) {
    switch (c.kind) {
    case ControlKind::Button: return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
    case ControlKind::CheckBox:
        // A greyed check box is never enabled again, so it never toggles, not even for a
        // click message sent to it directly.
        return {L"BUTTON", (c.behaviour.disabled ? DWORD{BS_CHECKBOX} : DWORD{BS_AUTOCHECKBOX}) | WS_TABSTOP, 0};
    case ControlKind::Label:
        return {L"STATIC", (c.look.noWrap ? DWORD{SS_LEFTNOWORDWRAP} : DWORD{SS_LEFT}) | SS_NOTIFY | SS_NOPREFIX, 0};
    case ControlKind::ListBox:
        return {L"LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::Picture: return {L"STATIC", SS_OWNERDRAW | SS_NOTIFY, 0};
    case ControlKind::TextBox:
        return {L"EDIT",
                (c.behaviour.multiline ? DWORD{ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN} : DWORD{ES_AUTOHSCROLL}) |
                    WS_TABSTOP,
                WS_EX_CLIENTEDGE};
    }
    return {L"STATIC", 0, 0};
}

}  // namespace

Window::~Window() {
    if (hwnd_) {
        // Destroyed with its owner object: the procedure must no longer reach this object.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(std::exchange(hwnd_, nullptr));
    }
}

Window* Window::fromHandle(HWND h) {
    if (!h || reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_WNDPROC)) != &Window::proc) return nullptr;
    return reinterpret_cast<Window*>(GetWindowLongPtrW(h, GWLP_USERDATA));
}

Created Window::create(const WindowSpec& form, std::span<const ControlSpec> controls,
                       std::span<const CommandRow> commands, std::span<const MessageRow> messages) {
    form_ = &form;
    commands_ = commands;
    messages_.clear();
    for (const MessageRow& row : messages) {
        if (const UINT number = row.message()) messages_.emplace_back(number, row.handler);
    }
    controls_.assign(controls.begin(), controls.end());
    std::stable_sort(controls_.begin(), controls_.end(),
                     [](const ControlSpec& a, const ControlSpec& b) { return a.tabIndex < b.tabIndex; });
    registerClass(form, &Window::proc);
    HWND h = CreateWindowExW(form.exStyle, form.className, form.caption, form.style, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance(), this);
    if (!h) return {false, GetLastError()};
    dpi_ = dpiForWindow(h);
    for (const ControlSpec& c : controls_) {
        const ChildClass cls = childClass(c);
        DWORD style = WS_CHILD | WS_VISIBLE | cls.style;
        if (c.behaviour.disabled) style |= WS_DISABLED;
        HWND child = CreateWindowExW(cls.exStyle, cls.name, c.caption ? c.caption : L"", style, 0, 0, 0, 0, h,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance(), nullptr);
        if (!child) {
            const DWORD error = GetLastError();
            DestroyWindow(h);  // with the controls made so far
            return {false, error};
        }
        if (c.kind == ControlKind::CheckBox) {
            if (c.behaviour.ticked) SendMessageW(child, BM_SETCHECK, BST_CHECKED, 0);
            // A themed check box draws its caption in the theme's colour, not the one given
            // at WM_CTLCOLORSTATIC: white captions on a black window need the classic look.
            if (c.look.text != kDefaultColour) {
                if (const auto theme = setWindowTheme()) theme(child, L"", L"");
            }
        }
        if (c.kind == ControlKind::Picture && c.look.bitmap) {
            bitmaps_[c.id] = UniqueBitmap(static_cast<HBITMAP>(
                LoadImageW(instance(), MAKEINTRESOURCEW(c.look.bitmap), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        }
    }
    layout(nullptr);
    return {};
}

void Window::createOrEnd(const WindowSpec& form, std::span<const ControlSpec> controls,
                         std::span<const CommandRow> commands, std::span<const MessageRow> messages,
                         const wchar_t* failure) {
    if (const Created made = create(form, controls, commands, messages); !made) {
        runtimeErrorReport(made.error, failure);
    }
}

void Window::layout(const RECT* suggested) {
    // The fonts of the old dpi stay alive until every control has been given its new one.
    const auto oldFonts = std::exchange(fonts_, {});
    RECT r{0, 0, twipsToPixels(form_->clientWidth, dpi_), twipsToPixels(form_->clientHeight, dpi_)};
    clientToWindowRect(r, form_->style, form_->exStyle, dpi_);
    const int w = r.right - r.left, hgt = r.bottom - r.top;
    if (suggested) {
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, w, hgt, SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (form_->placement == Placement::CenterScreen) {
        const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - hgt) / 2;
        SetWindowPos(hwnd_, nullptr, x, y, w, hgt, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        SetWindowPos(hwnd_, nullptr, 0, 0, w, hgt, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    }
    for (const ControlSpec& c : controls_) {
        HWND child = control(c.id);
        SetWindowPos(child, nullptr, twipsToPixels(c.left, dpi_), twipsToPixels(c.top, dpi_),
                     twipsToPixels(c.width, dpi_), twipsToPixels(c.height, dpi_), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(c.look.font ? c.look.font : form_->font)),
                     TRUE);
    }
}

HFONT Window::fontFor(const FontSpec* f) {
    auto& slot = fonts_[f];
    if (!slot && f) {
        slot = UniqueFont(CreateFontW(fontHeight(f->centiPoints, dpi_), 0, 0, 0, f->weight, FALSE, FALSE, FALSE,
                                      static_cast<BYTE>(f->charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                      DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, f->face));
    }
    return slot ? slot.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

HBRUSH Window::brushFor(COLORREF colour) {
    auto& slot = brushes_[colour];
    if (!slot) slot = UniqueBrush(CreateSolidBrush(colour));
    return slot.get();
}

const ControlSpec* Window::specOf(HWND child) const {
    const int id = GetDlgCtrlID(child);
    for (const ControlSpec& c : controls_) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

LRESULT Window::colourControl(HDC dc, HWND child, UINT msg) {
    const ControlSpec* c = specOf(child);
    const bool boxed = c && (c->kind == ControlKind::ListBox || c->kind == ControlKind::TextBox);
    COLORREF back = c && c->look.back != kDefaultColour ? c->look.back
                    : boxed                              ? GetSysColor(COLOR_WINDOW)
                                                         : form_->back;
    const COLORREF text = c ? c->look.text : kDefaultColour;
    if (text == kDefaultColour && back == kDefaultColour) return DefWindowProcW(hwnd_, msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child));
    if (back == kDefaultColour) back = GetSysColor(COLOR_BTNFACE);
    if (text != kDefaultColour) SetTextColor(dc, text);
    SetBkColor(dc, back);
    return reinterpret_cast<LRESULT>(brushFor(back));
}

bool Window::drawPicture(const DRAWITEMSTRUCT& item) {
    auto it = bitmaps_.find(static_cast<int>(item.CtlID));
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_WINDOW));
    if (it == bitmaps_.end() || !it->second) return true;
    BITMAP bm{};
    GetObjectW(it->second.get(), sizeof bm, &bm);
    const UniqueMemoryDc mem(CreateCompatibleDC(item.hDC));
    if (!mem) return true;
    const Selection banner(mem.get(), it->second.get());
    // Drawn at its own size at 96 dpi, and in proportion at higher dpi.
    const int w = mulDivRound(bm.bmWidth, dpi_, kDefaultDpi), h = mulDivRound(bm.bmHeight, dpi_, kDefaultDpi);
    if (w == bm.bmWidth && h == bm.bmHeight) {
        BitBlt(item.hDC, 0, 0, w, h, mem.get(), 0, 0, SRCCOPY);
    } else {
        SetStretchBltMode(item.hDC, HALFTONE);
        StretchBlt(item.hDC, 0, 0, w, h, mem.get(), 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    }
    return true;
}

void Window::command(int id, int notification) {
    for (const CommandRow& row : commands_) {
        if (row.id == id && row.notification == notification) {
            row.handler(*this);
            return;
        }
    }
}

bool Window::handledByRow(UINT msg, WPARAM wp, LPARAM lp) {
    for (const auto& [number, handler] : messages_) {
        if (number == msg) {
            handler(*this, wp, lp);
            return true;
        }
    }
    return false;
}

void Window::show() {
    // A minimised window comes back at its size; a hidden one is shown as it was left.
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
}

// ---- the keyboard, as dialogs have it ----

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

void Window::setVisible(bool visible) { ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE); }

void Window::unload() {
    if (!hwnd_ || onUnload()) return;
    DestroyWindow(hwnd_);
}

LRESULT Window::onMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (handledByRow(msg, wp, lp)) return 0;
    switch (msg) {
    case WM_ERASEBKGND:
        if (form_ && form_->back != kDefaultColour) {
            RECT r;
            GetClientRect(hwnd_, &r);
            FillRect(reinterpret_cast<HDC>(wp), &r, brushFor(form_->back));
            return 1;
        }
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLOREDIT:
        return colourControl(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), msg);
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (item.CtlType == ODT_STATIC && drawPicture(item)) return TRUE;
        break;
    }
    case WM_COMMAND:
        if (lp) {
            command(LOWORD(wp), HIWORD(wp));  // from a control
        } else if (wp == IDOK) {
            // Enter, as the dialog manager tells it to a window that is not a dialog: it presses
            // the focused button, and nothing where no button has the focus. (Esc's IDCANCEL has
            // no meaning here.)
            if (HWND button = focusedButton()) command(GetDlgCtrlID(button), BN_CLICKED);
        }
        return 0;
    case DM_GETDEFID:
        // No window has a default button of its own: Enter goes to the focused button, if any.
        if (HWND button = focusedButton()) return MAKELRESULT(GetDlgCtrlID(button), DC_HASDEFID);
        return 0;
    case WM_NEXTDLGCTL: {
        // Tab and Shift+Tab out of a multi-line text box, and focus moves asked for by the dialog
        // manager: to the given control, or to the next or previous tab stop, round the end.
        HWND focus = GetFocus();
        HWND next = LOWORD(lp) ? reinterpret_cast<HWND>(wp)
                               : GetNextDlgTabItem(hwnd_, focus && IsChild(hwnd_, focus) ? focus : nullptr, wp != 0);
        if (next) focusControl(next, !LOWORD(lp));
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE) {
            // Remembered for the user's return, as a dialog does.
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd_, focus)) focus_ = focus;
            return 0;
        }
        if (HIWORD(wp)) break;  // minimised: no control to focus
        // Hidden (the main window behind its icon): giving a control the focus would make the
        // hidden window the active one, taking activation from a box the program just showed.
        if (!IsWindowVisible(hwnd_)) break;
        if (!firstTabStop()) break;  // nothing to focus but the window itself (the splash)
        restoreFocus();
        return 0;
    case WM_SETFOCUS:
        // The window itself was given the focus: it goes on to its control, if it is seen.
        if (IsWindowVisible(hwnd_) && firstTabStop()) restoreFocus();
        return 0;
    case WM_TIMER:
        onTimer(wp);
        return 0;
    case WM_CLOSE:
        unload();
        return 0;
    case WM_SETCURSOR: {
        const ControlSpec* c = specOf(reinterpret_cast<HWND>(wp));
        if (c && c->behaviour.link && LOWORD(lp) == HTCLIENT) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    }
    case WM_DPICHANGED:
        dpi_ = HIWORD(wp);
        layout(reinterpret_cast<const RECT*>(lp));
        InvalidateRect(hwnd_, nullptr, TRUE);
        return 0;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK Window::proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->hwnd_ = h;
        SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (!self) return DefWindowProcW(h, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        const LRESULT r = DefWindowProcW(h, msg, wp, lp);
        if (auto gone = std::move(self->gone_)) gone();  // the object is not touched after this
        return r;
    }
    return self->onMessage(msg, wp, lp);
}

}  // namespace dva
