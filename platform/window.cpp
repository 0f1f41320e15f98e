#include "window.h"

#include <commctrl.h>

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

void registerClass(const WindowSpec& layout, WNDPROC proc) {
    WNDCLASSEXW wc{};
    if (GetClassInfoExW(instance(), layout.className, &wc)) return;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // Windows without a colour of their own (kDefaultColour) have the dialogs' button face.
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = layout.className;
    if (layout.icon) {
        wc.hIcon = static_cast<HICON>(LoadImageW(instance(), MAKEINTRESOURCEW(layout.icon), IMAGE_ICON,
                                                 0, 0, LR_DEFAULTSIZE | LR_SHARED));
        wc.hIconSm = static_cast<HICON>(LoadImageW(instance(), MAKEINTRESOURCEW(layout.icon), IMAGE_ICON,
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

void initCommonControls() {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&icc);
}

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

Created Window::createFrom(const WindowSpec& layout, std::span<const ControlSpec> controls,
                           std::span<const Route> routes) {
    layout_ = &layout;
    routes_ = routes;
    numbers_.clear();
    for (const Route& route : routes) numbers_.push_back(route.kind == Route::Kind::Message ? route.number() : 0);
    controls_.assign(controls.begin(), controls.end());
    std::stable_sort(controls_.begin(), controls_.end(),
                     [](const ControlSpec& a, const ControlSpec& b) { return a.tabIndex < b.tabIndex; });
    registerClass(layout, &Window::proc);
    HWND h = CreateWindowExW(layout.exStyle, layout.className, layout.caption, layout.style, CW_USEDEFAULT,
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
    arrange(nullptr);
    return {};
}

void Window::createFromOrEnd(const WindowSpec& layout, std::span<const ControlSpec> controls,
                             std::span<const Route> routes, const wchar_t* failure) {
    if (const Created made = createFrom(layout, controls, routes); !made) runtimeErrorReport(made.error, failure);
}

void Window::arrange(const RECT* suggested) {
    // The fonts of the old dpi stay alive until every control has been given its new one.
    const auto oldFonts = std::exchange(fonts_, {});
    RECT r{0, 0, twipsToPixels(layout_->clientWidth, dpi_), twipsToPixels(layout_->clientHeight, dpi_)};
    clientToWindowRect(r, layout_->style, layout_->exStyle, dpi_);
    const int w = r.right - r.left, hgt = r.bottom - r.top;
    if (suggested) {
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, w, hgt, SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (layout_->placement == Placement::CenterScreen) {
        const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - hgt) / 2;
        SetWindowPos(hwnd_, nullptr, x, y, w, hgt, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        SetWindowPos(hwnd_, nullptr, 0, 0, w, hgt, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    }
    for (const ControlSpec& c : controls_) {
        HWND child = control(c.id);
        SetWindowPos(child, nullptr, twipsToPixels(c.left, dpi_), twipsToPixels(c.top, dpi_),
                     twipsToPixels(c.width, dpi_), twipsToPixels(c.height, dpi_), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(c.look.font ? c.look.font : layout_->font)),
                     TRUE);
    }
    onArranged();
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
                                                         : layout_->back;
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

bool Window::routed(Route::Kind kind, int id, int notification, LRESULT& result) {
    for (const Route& route : routes_) {
        if (route.kind == kind && route.id == id && route.notification == notification) {
            result = route.handler(*this, 0, 0);
            return true;
        }
    }
    return false;
}

bool Window::routedMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == 0) return false;  // a number no route may match: a name that was not registered
    for (std::size_t i = 0; i < numbers_.size(); ++i) {
        if (numbers_[i] == msg) {
            result = routes_[i].handler(*this, wp, lp);
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

void Window::setVisible(bool visible) { ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE); }

void Window::close() {
    if (!hwnd_ || onClose()) return;
    DestroyWindow(hwnd_);
}

LRESULT Window::onMessage(UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT result = 0;
    if (routedMessage(msg, wp, lp, result)) return result;
    if (dialogKeyMessage(msg, wp, lp, result)) return result;
    switch (msg) {
    case WM_ERASEBKGND:
        if (layout_ && layout_->back != kDefaultColour) {
            RECT r;
            GetClientRect(hwnd_, &r);
            FillRect(reinterpret_cast<HDC>(wp), &r, brushFor(layout_->back));
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
        // A control's notification (Enter's IDOK, from no control, is a dialog key).
        if (lp) routed(Route::Kind::Command, LOWORD(wp), HIWORD(wp), result);
        return 0;
    case WM_TIMER:
        routed(Route::Kind::Timer, static_cast<int>(wp), 0, result);
        return 0;
    case WM_CLOSE:
        close();
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
        arrange(reinterpret_cast<const RECT*>(lp));
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
