#include "desktop_shell.h"

#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "com.h"
#include "command_run.h"
#include "elevation.h"
#include "handles.h"
#include "refusals.h"

namespace dva {
namespace {

// The service that is the shell's top-level browser (SID_STopLevelBrowser). The class and
// interface ids below are the compiler's (__uuidof); libuuid's would bring its whole object of
// shell identifiers, 35 KB, into the .exe.
constexpr GUID kTopLevelBrowser{0x4c96be40, 0x915c, 0x11cf, {0x99, 0xd3, 0x00, 0xaa, 0x00, 0x4a, 0xe8, 0x37}};

// The desktop among the shell's windows: its automation object and its window. S_FALSE when the
// shell lists no desktop window. COM must be up.
HRESULT findShellDesktop(ComRef<IDispatch>& desktop, HWND& window) {
    ComRef<IShellWindows> windows;
    DVA_RETURN_IF_FAILED(oleApi().createInstance(__uuidof(ShellWindows), nullptr, CLSCTX_LOCAL_SERVER,
                                                 __uuidof(IShellWindows), windows.putVoid()));
    VARIANT none{};
    long desktopWindow = 0;
    const HRESULT found =
        windows->FindWindowSW(&none, &none, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH, desktop.put());
    window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(desktopWindow));  // window handles fit in 32 bits
    return found;
}

// The shell's automation object behind the desktop's folder view: the desktop window of the
// shell windows, its browser, the browser's view, the view's automation object and its
// Application.
HRESULT desktopShellDispatch(ComRef<IShellDispatch2>& out) {
    ComRef<IDispatch> desktop;
    HWND window = nullptr;
    const HRESULT found = findShellDesktop(desktop, window);
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

std::vector<wchar_t> invokerEnvironment() {
    std::vector<wchar_t> block;
    if (wchar_t* strings = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
            if (CompareStringOrdinal(entry, 15, L"__COMPAT_LAYER=", 15, TRUE) == CSTR_EQUAL) continue;
            block.insert(block.end(), entry, entry + wcslen(entry) + 1);
        }
        FreeEnvironmentStringsW(strings);
    }
    constexpr wchar_t kLayer[] = L"__COMPAT_LAYER=RunAsInvoker";
    block.insert(block.end(), kLayer, kLayer + std::size(kLayer));  // with its terminating zero
    block.push_back(L'\0');
    return block;
}

HWND desktopShellWindow() {
    if (HWND shell = GetShellWindow()) return shell;
    if (!oleApi().complete()) return nullptr;
    ComRef<IDispatch> desktop;
    HWND window = nullptr;
    return findShellDesktop(desktop, window) == S_OK ? window : nullptr;
}

namespace {

bool isPlainFile(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

HRESULT startWithDesktopShellRights(const std::wstring& program, std::wstring_view arguments,
                                    ElevationCheck elevated, ShellWindowFinder findShell) {
    DWORD shellId = 0;
    HWND shell = findShell();
    if (!shell || !GetWindowThreadProcessId(shell, &shellId)) return static_cast<HRESULT>(kRefusedNoDesktopShell);
    const UniqueHandle shellProcess(OpenProcess(PROCESS_CREATE_PROCESS | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellId));
    if (!shellProcess) return HRESULT_FROM_WIN32(GetLastError());
    // A shell that runs raised itself (user account control off) has no other rights to give.
    const bool shellRaised = elevated(shellProcess.get()).value_or(false);

    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    auto storage = std::make_unique<unsigned char[]>(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.get());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return HRESULT_FROM_WIN32(GetLastError());
    HANDLE parent = shellProcess.get();
    HRESULT hr = S_OK;
    if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_PARENT_PROCESS, &parent, sizeof parent, nullptr,
                                  nullptr)) {
        // The path quoted, and given as the program too: nothing else can run in its place.
        std::wstring line = L"\"" + program + L"\" " + std::wstring(arguments);
        std::vector<wchar_t> environment = invokerEnvironment();
        STARTUPINFOEXW start{};
        start.StartupInfo.cb = sizeof start;
        start.lpAttributeList = attributes;
        PROCESS_INFORMATION started{};
        // Held before its first instruction until its rights are known: should it have got ours
        // rather than the shell's, it is ended before it runs.
        if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                           EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED,
                           environment.data(), nullptr, &start.StartupInfo, &started)) {
            const UniqueHandle thread(started.hThread), process(started.hProcess);  // not kept
            const bool raised = elevated(process.get()).value_or(true);  // unreadable rights count as raised
            if (raised && !shellRaised) {
                TerminateProcess(process.get(), kEndedAsRaised);
                hr = static_cast<HRESULT>(kRefusedRaisedStart);
            } else {
                ResumeThread(thread.get());
                // Its window may come to the front, as one opened here would.
                AllowSetForegroundWindow(started.dwProcessId);
            }
        } else {
            hr = HRESULT_FROM_WIN32(GetLastError());
        }
    } else {
        hr = HRESULT_FROM_WIN32(GetLastError());
    }
    DeleteProcThreadAttributeList(attributes);
    return hr;
}

HRESULT openThroughDesktopShell(std::wstring_view file, std::wstring_view arguments, int show) {
    if (!oleApi().complete()) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    ComRef<IShellDispatch2> shell;
    DVA_RETURN_IF_FAILED(desktopShellDispatch(shell));
    StringVariant name(file), args(arguments), folder(L""), verb(L"open");
    if (!name.ok() || !args.ok() || !folder.ok() || !verb.ok()) return E_OUTOFMEMORY;
    VARIANT showArg{};
    showArg.vt = VT_I4;
    showArg.lVal = show;
    return shell->ShellExecute(name.bstr(), args.get(), folder.get(), verb.get(), showArg);
}

OpResult DesktopWebPages::openWebPage(std::wstring_view browserPath, std::wstring_view address) {
    const std::wstring browser(browserPath), page(address);
    if (runningElevated()) {
        // No desktop shell to ask (Explorer not running, another shell): a browser started from
        // here would run with raised rights, so none is; the user is told why instead.
        if (!findShell_()) return {kRefusedNoDesktopShell};
        // Started as a child of the desktop shell, the browser gets the user's own rights, not
        // ours, and is ended before it runs if it would have ours. Without the browser, the
        // address goes to the shell, which opens it in the user's default browser.
        HRESULT hr = isPlainFile(browser) ? startWithDesktopShellRights(browser, page, processElevated, findShell_) : S_FALSE;
        if (hr == S_OK) return {};
        if (hr == static_cast<HRESULT>(kRefusedRaisedStart)) return {kRefusedRaisedStart};
        hr = openThroughDesktopShell(page, L"", SW_SHOWNORMAL);
        if (hr == S_OK) return {};
        // The shell says only that nothing could open the address.
        return {static_cast<std::uint32_t>(FAILED(hr) ? hr : HRESULT_FROM_WIN32(ERROR_NO_ASSOCIATION))};
    }
    // The path quoted, so that no "C:\Program.exe" or "C:\Program Files\Internet.exe" runs instead.
    if (runCommandLine(L"\"" + browser + L"\" " + page, 0, false).ok()) return {};
    SHELLEXECUTEINFOW run{};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    run.lpVerb = L"open";
    run.lpFile = page.c_str();
    run.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&run)) return {};
    return {GetLastError()};
}

}  // namespace dva
