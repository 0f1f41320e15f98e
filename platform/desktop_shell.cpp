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

// A VARIANT holding a string, cleared once. Only made once oleApi() is known to be complete.
class StringArg {
public:
    explicit StringArg(std::wstring_view text) {
        v_.vt = VT_BSTR;
        v_.bstrVal = oleApi().sysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    ~StringArg() { oleApi().variantClear(&v_); }
    StringArg(const StringArg&) = delete;
    StringArg& operator=(const StringArg&) = delete;
    bool ok() const { return v_.bstrVal != nullptr; }
    const VARIANT& get() const { return v_; }

private:
    VARIANT v_{};
};

// The service that is the shell's top-level browser (SID_STopLevelBrowser). The class and
// interface ids below are the compiler's (__uuidof); libuuid's would bring its whole object of
// shell identifiers, 35 KB, into the .exe.
constexpr GUID kTopLevelBrowser{0x4c96be40, 0x915c, 0x11cf, {0x99, 0xd3, 0x00, 0xaa, 0x00, 0x4a, 0xe8, 0x37}};

// The shell's automation object behind the desktop's folder view: the desktop window of the
// shell windows, its browser, the browser's view, the view's automation object and its
// Application.
HRESULT desktopShellDispatch(ComRef<IShellDispatch2>& out) {
    ComRef<IShellWindows> windows;
    DVA_RETURN_IF_FAILED(oleApi().createInstance(__uuidof(ShellWindows), nullptr, CLSCTX_LOCAL_SERVER,
                                                 __uuidof(IShellWindows), windows.putVoid()));
    VARIANT none{};
    long desktopWindow = 0;
    ComRef<IDispatch> desktop;
    const HRESULT found =
        windows->FindWindowSW(&none, &none, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH, desktop.put());
    DVA_RETURN_IF_FAILED(found);
    if (found != S_OK || !desktop) return E_NOINTERFACE;  // S_FALSE: no desktop window
    ComRef<IServiceProvider> services;
    DVA_RETURN_IF_FAILED(desktop.query(services));
    ComRef<IShellBrowser> browser;
    DVA_RETURN_IF_FAILED(services->QueryService(kTopLevelBrowser, __uuidof(IShellBrowser), browser.putVoid()));
    ComRef<IShellView> view;
    DVA_RETURN_IF_FAILED(browser->QueryActiveShellView(view.put()));
    ComRef<IDispatch> background;
    DVA_RETURN_IF_FAILED(view->GetItemObject(SVGIO_BACKGROUND, __uuidof(IDispatch), background.putVoid()));
    ComRef<IShellFolderViewDual> folderView;
    DVA_RETURN_IF_FAILED(background.query(folderView));
    ComRef<IDispatch> application;
    DVA_RETURN_IF_FAILED(folderView->get_Application(application.put()));
    if (!application) return E_NOINTERFACE;
    return application.query(out);
}

}  // namespace

bool runningElevated() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

HRESULT openThroughDesktopShell(std::wstring_view file, std::wstring_view arguments, int show) {
    if (!oleApi().complete()) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    ComRef<IShellDispatch2> shell;
    DVA_RETURN_IF_FAILED(desktopShellDispatch(shell));
    StringArg args(arguments), folder(L""), verb(L"open");
    BSTR name = oleApi().sysAllocStringLen(file.data(), static_cast<UINT>(file.size()));
    if (!name || !args.ok() || !folder.ok() || !verb.ok()) {
        oleApi().sysFreeString(name);
        return E_OUTOFMEMORY;
    }
    VARIANT showArg{};
    showArg.vt = VT_I4;
    showArg.lVal = show;
    const HRESULT hr = shell->ShellExecute(name, args.get(), folder.get(), verb.get(), showArg);
    oleApi().sysFreeString(name);
    return hr;
}

}  // namespace dva
