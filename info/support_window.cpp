#include "support_window.h"

#include "control_ids.h"
#include "failure_text.h"
#include "product_config.h"
#include "system_function.h"
#include "tool_window.h"
#include "twips.h"
#include "window_classes.h"

namespace dva {
namespace {

// Fetched over an encrypted connection by default: the page is shown inside this program, which
// may run with raised rights.
constexpr wchar_t kSupportPage[] = DVA_SUPPORT_PAGE;

// The web browser control (Shell.Explorer.2), hosted by the system's ATL: a window of class
// AtlAxWin named with the control's CLSID creates the control and sites it in itself.
constexpr wchar_t kWebBrowserClsid[] = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";
constexpr DISPID kDispidNavigate = 104;  // IWebBrowser2::Navigate(URL, Flags, TargetFrame, PostData, Headers)

// The browser control in twips; its top 120 twips lie above the client area and are cut off.
constexpr int kBrowserLeft = 0, kBrowserTop = -120, kBrowserWidth = 5535, kBrowserHeight = 4575;

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

constexpr WindowSpec kSupportSpec = toolWindow(window_class::kSupport, L"Online MSN Destek", 5610, 5085);

// The browser control (tab index 0) is not in the table: it is made by hand in create(), and its window
// is put first in the tab order there.
constexpr ControlSpec kSupportControls[] = {
    {ids::support::connect, ControlKind::Button, L"Bağlan!", 2040, 4560, 1575, 375, 1},
};

HRESULT fromWin32(DWORD code) { return HRESULT_FROM_WIN32(code ? code : ERROR_GEN_FAILURE); }

// atl.dll, loaded on first use and kept for the rest of the run: the window class it registers
// lives in it. A failed load is tried again by the next support window.
HMODULE atlLibrary() {
    static HMODULE atl = nullptr;
    if (!atl) atl = loadSystemLibrary(L"atl.dll");
    return atl;
}

}  // namespace

const Route SupportWindow::kRoutes[] = {
    commandRoute<&SupportWindow::onConnectClicked>(ids::support::connect, BN_CLICKED),
    messageRoute<WM_DESTROY, &SupportWindow::onDestroyed>(),
};

void SupportWindow::create() {
    createFromOrEnd(kSupportSpec, kSupportControls, kRoutes, L"Online destek penceresi açılamadı.");
    browserError_ = createBrowser();
    if (FAILED(browserError_)) {
        // The window still opens and closes as usual; only the page cannot be shown in it.
        notices_.message(L"Web tarayıcı bileşeni oluşturulamadı; destek sayfası bu pencerede gösterilemeyecek.\n" +
                             resultText(notices_, browserError_),
                         L"Hata", MessageIcon::Error);
    }
}

HRESULT SupportWindow::createBrowser() {
    HMODULE atl = atlLibrary();
    if (!atl) return fromWin32(GetLastError());
    AtlAxWinInitFn init = nullptr;
    AtlAxGetControlFn getControl = nullptr;
    lookUp(init, atl, "AtlAxWinInit");
    lookUp(getControl, atl, "AtlAxGetControl");
    if (!init || !getControl) return fromWin32(ERROR_PROC_NOT_FOUND);
    // Once a process: Wine's AtlAxWinInit fails when its window class is already registered,
    // which it is from the second support window of a run on.
    WNDCLASSEXW site{};
    site.cbSize = sizeof site;
    if (!GetClassInfoExW(GetModuleHandleW(nullptr), L"AtlAxWin", &site) && !init()) return fromWin32(GetLastError());

    HWND host = CreateWindowExW(0, L"AtlAxWin", kWebBrowserClsid, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 0,
                                hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::support::browser)),
                                GetModuleHandleW(nullptr), nullptr);
    if (!host) return fromWin32(GetLastError());
    browserHost_ = host;
    SetWindowPos(host, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);  // first in tab order
    placeBrowser();

    ComRef<IUnknown> control;
    HRESULT hr = getControl(host, control.put());
    if (SUCCEEDED(hr) && !control) hr = E_NOINTERFACE;  // the site exists but holds no control
    if (SUCCEEDED(hr)) hr = control.query(browser_);
    if (FAILED(hr)) {
        browser_.reset();
        DestroyWindow(std::exchange(browserHost_, nullptr));
    }
    return hr;
}

void SupportWindow::placeBrowser() {
    if (!browserHost_) return;
    SetWindowPos(browserHost_, nullptr, twipsToPixels(kBrowserLeft, dpi()), twipsToPixels(kBrowserTop, dpi()),
                 twipsToPixels(kBrowserWidth, dpi()), twipsToPixels(kBrowserHeight, dpi()),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// Before the children go: the site window then holds the last reference to the control.
void SupportWindow::onDestroyed() {
    browser_.reset();
    browserHost_ = nullptr;
}

// Connect: starts loading the support page into the browser; a press while it loads starts again.
void SupportWindow::onConnectClicked() {
    if (!browser_) {
        notices_.message(failureText(L"Web tarayıcı bileşeni olmadığından destek sayfası açılamıyor: ", kSupportPage,
                                     resultText(notices_, browserError_)),
                         L"Hata", MessageIcon::Error);
        return;
    }
    const HRESULT hr = navigate(kSupportPage);
    if (FAILED(hr)) {
        notices_.message(failureText(L"Destek sayfası açılamadı: ", kSupportPage, resultText(notices_, hr)), L"Hata",
                         MessageIcon::Error);
    }
}

// Navigate through the control's dispatch interface with the address as its one argument; the
// optional flags, target frame, post data and headers are left out.
HRESULT SupportWindow::navigate(const wchar_t* url) {
    const OleApi& ole = oleApi();
    if (!ole.complete()) return fromWin32(ERROR_PROC_NOT_FOUND);
    StringVariant arg(url);
    if (!arg.ok()) return E_OUTOFMEMORY;
    DISPPARAMS params{&arg.get(), nullptr, 1, 0};
    ExceptionInfo exception;
    UINT badArgument = 0;
    // The call may run a modal loop that reaches this window; the control stays alive through it.
    const ComRef<IDispatch> browser = browser_.copy();
    HRESULT hr = browser->Invoke(kDispidNavigate, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                                 exception.put(), &badArgument);
    if (hr == DISP_E_EXCEPTION) {
        if (const SCODE code = exception.code(); FAILED(code)) hr = code;
    }
    return hr;
}

}  // namespace dva
