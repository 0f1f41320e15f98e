#include "win32_runtime.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "desktop_shell.h"
#include "error_report.h"
#include "handles.h"
#include "message_loop.h"
#include "number_text.h"
#include "system_folder.h"
#include "system_function.h"

namespace dva {
namespace {

// A 32-bit build on 64-bit Windows would otherwise see C:\WINDOWS\system32 through the file
// system redirector as SysWOW64: the program must test and delete the very paths it names.
class NoFsRedirection {
public:
    NoFsRedirection() {
        if (auto disable = api().disable) ok_ = disable(&old_);
    }
    ~NoFsRedirection() {
        if (ok_) api().revert(old_);
    }
    NoFsRedirection(const NoFsRedirection&) = delete;
    NoFsRedirection& operator=(const NoFsRedirection&) = delete;

private:
    struct Api {
        BOOL(WINAPI* disable)(PVOID*) = nullptr;
        BOOL(WINAPI* revert)(PVOID) = nullptr;
    };
    static const Api& api() {
        static const Api a = [] {
            Api r;
#ifndef _WIN64
            HMODULE k = GetModuleHandleW(L"kernel32.dll");
            lookUp(r.disable, k, "Wow64DisableWow64FsRedirection");
            lookUp(r.revert, k, "Wow64RevertWow64FsRedirection");
            if (!r.revert) r.disable = nullptr;
#endif
            return r;
        }();
        return a;
    }
    PVOID old_ = nullptr;
    BOOL ok_ = FALSE;
};

OpResult lastError(BOOL ok) { return ok ? OpResult{} : OpResult{GetLastError()}; }

// Waits until the object is signalled or the time is up, handing every message that arrives
// meanwhile to its window, so the program's windows keep answering.
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

// A path as written by the user or the program, and as GetFinalPathNameByHandleW gives it back
// ("\\?\C:\..." or "\\?\UNC\server\..."), brought to the same form.
std::wstring withoutLongPrefix(std::wstring path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + path.substr(7);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

// The file at exactly `path`, opened with `access` without following a link at its end, or the
// reason it is left alone: a link (symbolic link, junction, any reparse point) itself; a path
// whose folders lead elsewhere, so that the file opened is not the one named; a file with other
// names (hard links) through which a file elsewhere would change too; a folder.
struct ExactFile {
    UniqueHandle handle;
    OpResult result;
};
ExactFile openExactly(const std::wstring& path, DWORD access) {
    HANDLE h = CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {UniqueHandle(), OpResult{GetLastError()}};
    UniqueHandle file(h);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return {UniqueHandle(), OpResult{GetLastError()}};
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return {UniqueHandle(), OpResult{kRefusedReparsePoint}};
    // A folder there now is not the file that was seen: as if it had gone.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {UniqueHandle(), OpResult{kErrorFileNotFound}};
    std::wstring finalPath(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetFinalPathNameByHandleW(h, finalPath.data(), static_cast<DWORD>(finalPath.size()), FILE_NAME_NORMALIZED);
        if (n == 0) return {UniqueHandle(), OpResult{GetLastError()}};
        const bool fits = n < finalPath.size();
        finalPath.resize(n);
        if (fits) break;
    }
    const std::wstring named = withoutLongPrefix(path);
    finalPath = withoutLongPrefix(std::move(finalPath));
    if (CompareStringOrdinal(named.c_str(), static_cast<int>(named.size()), finalPath.c_str(), static_cast<int>(finalPath.size()),
                             TRUE) != CSTR_EQUAL)
        return {UniqueHandle(), OpResult{kRefusedRedirected}};
    if (info.nNumberOfLinks > 1) return {UniqueHandle(), OpResult{kRefusedHardLinks}};
    return {std::move(file), {}};
}

bool isPlainFile(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool Win32Runtime::runtimeErrorReportOpen() const { return dva::runtimeErrorReportOpen(); }

Presence Win32Runtime::probe(std::wstring_view path) {
    NoFsRedirection guard;
    const DWORD a = GetFileAttributesW(std::wstring(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return Presence::Absent;
    if (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) return Presence::Absent;
    return (a & FILE_ATTRIBUTE_READONLY) ? Presence::PresentReadOnly : Presence::Present;
}

void Win32Runtime::message(std::wstring_view text, std::wstring_view title, MessageIcon icon) {
    // Task-modal with no owner: every window of the program is disabled while the box is
    // open, and the box comes forward even when the main window is hidden. The scan timer still
    // ticks under it; which boxes hold the scan back is the engine's to know.
    MessageBoxW(nullptr, std::wstring(text).c_str(), std::wstring(title).c_str(),
                MB_OK | static_cast<UINT>(icon) | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST);
}

OpResult Win32Runtime::clearReadOnly(std::wstring_view path) {
    NoFsRedirection guard;
    const ExactFile file = openExactly(std::wstring(path), FILE_WRITE_ATTRIBUTES);
    if (!file.result.ok()) return file.result;
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(file.handle.get(), FileBasicInfo, &basic, sizeof basic))
        return OpResult{GetLastError()};
    basic.FileAttributes &= ~DWORD{FILE_ATTRIBUTE_READONLY};
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;  // 0 would mean "unchanged"
    basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = basic.LastWriteTime.QuadPart =
        basic.ChangeTime.QuadPart = 0;  // left as they are
    return lastError(SetFileInformationByHandle(file.handle.get(), FileBasicInfo, &basic, sizeof basic));
}

// Deleted through the handle that was checked, so nothing can swap the path in between.
OpResult Win32Runtime::deleteFile(std::wstring_view path) {
    NoFsRedirection guard;
    const ExactFile file = openExactly(std::wstring(path), DELETE);
    if (!file.result.ok()) return file.result;
    FILE_DISPOSITION_INFO disposition{TRUE};
    return lastError(SetFileInformationByHandle(file.handle.get(), FileDispositionInfo, &disposition, sizeof disposition));
}

OpResult Win32Runtime::makeFolder(std::wstring_view path) {
    NoFsRedirection guard;
    return lastError(CreateDirectoryW(std::wstring(path).c_str(), nullptr));
}

OpResult Win32Runtime::runCommandLine(std::wstring_view line, unsigned waitMs, bool inBackground) {
    std::wstring buffer(line);  // CreateProcessW may write into the command line
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = inBackground ? SW_SHOWMINNOACTIVE : SW_SHOWMINIMIZED;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return OpResult{GetLastError()};
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    if (waitMs) waitHandlingMessages(process.get(), waitMs);
    return {};
}

OpResult Win32Runtime::openWebPage(std::wstring_view browserPath, std::wstring_view address) {
    const std::wstring browser(browserPath), page(address);
    if (runningElevated()) {
        // Started by the desktop shell, the browser gets the user's own rights, not ours. The
        // browser is tested first: the shell would tell a missing program in a box of its own.
        HRESULT hr = isPlainFile(browser) ? openThroughDesktopShell(browser, page, SW_SHOWMINIMIZED) : S_FALSE;
        if (hr == S_OK) return {};
        if (SUCCEEDED(hr)) {
            hr = openThroughDesktopShell(page, L"", SW_SHOWNORMAL);
            if (hr == S_OK) return {};
            // The shell says only that nothing could open the address.
            return {static_cast<std::uint32_t>(FAILED(hr) ? hr : HRESULT_FROM_WIN32(ERROR_NO_ASSOCIATION))};
        }
        // No desktop shell to ask (Explorer not running, another shell): a browser started from
        // here would run with raised rights, so none is; the user is told the address instead.
        return {static_cast<std::uint32_t>(hr)};
    }
    // The path quoted, so that no "C:\Program.exe" or "C:\Program Files\Internet.exe" runs instead.
    if (runCommandLine(L"\"" + browser + L"\" " + page, 0, false).ok()) return {};
    SHELLEXECUTEINFOW run{};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    run.lpVerb = L"open";
    run.lpFile = page.c_str();
    run.nShow = SW_SHOWNORMAL;
    return lastError(ShellExecuteExW(&run));
}

std::wstring Win32Runtime::systemFolder() { return systemProgramFolder(); }

std::uint64_t Win32Runtime::nowMs() { return GetTickCount64(); }

std::wstring Win32Runtime::errorReason(std::uint32_t code) {
    switch (code) {
    case kRefusedReparsePoint:
        return L"Dosya bir bağlantı (yönlendirme) olduğundan silinmedi: gösterdiği yer başka bir dosya olabilir.";
    case kRefusedRedirected:
        return L"Yoldaki bir klasör başka bir yere yönlendiriliyor (bağlantı veya bağlantı noktası); oradaki dosya silinmedi.";
    case kRefusedHardLinks:
        return L"Dosyanın başka adları (sabit bağlantıları) var; başka bir yerdeki dosya da değişeceği için silinmedi.";
    case kRefusedNoSystemFolder:
        return L"Sistem klasörünün yeri alınamadı; komut sistem klasörü dışından başlatılmadı.";
    default:
        break;
    }
    // The system allocates the text and hands back its address in the buffer argument.
    UniqueLocalMemory buffer;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    std::wstring reason = n && buffer ? std::wstring(static_cast<const wchar_t*>(buffer.get()), n) : std::wstring();
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
        reason.pop_back();
    if (reason.empty()) reason = L"Hata kodu " + decimalText(code);
    return reason;
}

void Win32Runtime::report(const Event& event) {
    eventLog_.write(event, carriesError(event.kind) ? errorReason(event.error) : std::wstring());
}

}  // namespace dva
