#include "desktop_shell.h"

#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <string>

#include "com.h"
#include "handles.h"

namespace dva {
namespace {

// A VARIANT holding a string, cleared once.
class StringArg {
public:
    explicit StringArg(std::wstring_view text) {
        VariantInit(&v_);
        v_.vt = VT_BSTR;
        v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    ~StringArg() { VariantClear(&v_); }
    StringArg(const StringArg&) = delete;
    StringArg& operator=(const StringArg&) = delete;
    bool ok() const { return v_.bstrVal != nullptr; }
    const VARIANT& get() const { return v_; }

private:
    VARIANT v_;
};

// The shell's automation object behind the desktop's folder view: the desktop window of the
// shell windows, its browser, the browser's view, the view's automation object and its
// Application.
HRESULT desktopShellDispatch(ComRef<IShellDispatch2>& out) {
    ComRef<IShellWindows> windows;
    HRESULT hr = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                  reinterpret_cast<void**>(windows.out()));
    if (FAILED(hr)) return hr;
    VARIANT none;
    VariantInit(&none);
    long desktopWindow = 0;
    ComRef<IDispatch> desktop;
    hr = windows->FindWindowSW(&none, &none, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH, desktop.out());
    if (hr != S_OK || !desktop) return FAILED(hr) ? hr : E_NOINTERFACE;  // S_FALSE: no desktop window
    ComRef<IServiceProvider> services;
    hr = desktop->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(services.out()));
    if (FAILED(hr)) return hr;
    ComRef<IShellBrowser> browser;
    hr = services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, reinterpret_cast<void**>(browser.out()));
    if (FAILED(hr)) return hr;
    ComRef<IShellView> view;
    hr = browser->QueryActiveShellView(view.out());
    if (FAILED(hr)) return hr;
    ComRef<IDispatch> background;
    hr = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(background.out()));
    if (FAILED(hr)) return hr;
    ComRef<IShellFolderViewDual> folderView;
    hr = background->QueryInterface(IID_IShellFolderViewDual, reinterpret_cast<void**>(folderView.out()));
    if (FAILED(hr)) return hr;
    ComRef<IDispatch> application;
    hr = folderView->get_Application(application.out());
    if (FAILED(hr)) return hr;
    if (!application) return E_NOINTERFACE;
    return application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(out.out()));
}

}  // namespace

bool runningElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    UniqueHandle owned(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

HRESULT openThroughDesktopShell(std::wstring_view file, std::wstring_view arguments, int show) {
    ComRef<IShellDispatch2> shell;
    if (const HRESULT hr = desktopShellDispatch(shell); FAILED(hr)) return hr;
    StringArg args(arguments), folder(L""), verb(L"open");
    BSTR name = SysAllocStringLen(file.data(), static_cast<UINT>(file.size()));
    if (!name || !args.ok() || !folder.ok() || !verb.ok()) {
        SysFreeString(name);
        return E_OUTOFMEMORY;
    }
    VARIANT showArg;
    VariantInit(&showArg);
    showArg.vt = VT_I4;
    showArg.lVal = show;
    const HRESULT hr = shell->ShellExecute(name, args.get(), folder.get(), verb.get(), showArg);
    SysFreeString(name);
    return hr;
}

}  // namespace dva
