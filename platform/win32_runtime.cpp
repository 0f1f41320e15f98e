#include "win32_runtime.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "handles.h"

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
            r.disable = reinterpret_cast<BOOL(WINAPI*)(PVOID*)>(
                reinterpret_cast<void*>(GetProcAddress(k, "Wow64DisableWow64FsRedirection")));
            r.revert = reinterpret_cast<BOOL(WINAPI*)(PVOID)>(
                reinterpret_cast<void*>(GetProcAddress(k, "Wow64RevertWow64FsRedirection")));
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

}  // namespace

Presence Win32Runtime::probe(std::wstring_view path) {
    NoFsRedirection guard;
    const DWORD a = GetFileAttributesW(std::wstring(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return Presence::Absent;
    if (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) return Presence::Absent;
    return (a & FILE_ATTRIBUTE_READONLY) ? Presence::PresentReadOnly : Presence::Present;
}

void Win32Runtime::message(std::wstring_view text, std::wstring_view title, MessageIcon icon) {
    // Task-modal with no owner: every window of the program is disabled while the box is
    // open, and the box comes forward even when the main window is hidden.
    ++openMessages_;
    MessageBoxW(nullptr, std::wstring(text).c_str(), std::wstring(title).c_str(),
                MB_OK | static_cast<UINT>(icon) | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST);
    --openMessages_;
}

OpResult Win32Runtime::clearReadOnly(std::wstring_view path) {
    NoFsRedirection guard;
    const std::wstring p(path);
    const DWORD a = GetFileAttributesW(p.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return OpResult{GetLastError()};
    return lastError(SetFileAttributesW(p.c_str(), a & ~DWORD{FILE_ATTRIBUTE_READONLY}));
}

OpResult Win32Runtime::deleteFile(std::wstring_view path) {
    NoFsRedirection guard;
    return lastError(DeleteFileW(std::wstring(path).c_str()));
}

OpResult Win32Runtime::makeFolder(std::wstring_view path) {
    NoFsRedirection guard;
    return lastError(CreateDirectoryW(std::wstring(path).c_str(), nullptr));
}

OpResult Win32Runtime::runCommandLine(std::wstring_view line, unsigned waitMs) {
    std::wstring buffer(line);  // CreateProcessW may write into the command line
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return OpResult{GetLastError()};
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    if (waitMs) WaitForSingleObject(process.get(), waitMs);
    return {};
}

OpResult Win32Runtime::openWithShell(std::wstring_view target) {
    const std::wstring file(target);
    SHELLEXECUTEINFOW run{};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    run.lpVerb = L"open";
    run.lpFile = file.c_str();
    run.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&run)) return {};
    const DWORD error = GetLastError();
    return OpResult{error ? error : DWORD{ERROR_GEN_FAILURE}};  // a failure is never reported as success
}

std::wstring Win32Runtime::errorReason(std::uint32_t code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const UniqueLocalMemory buffer(text);
    std::wstring reason = n ? std::wstring(text, n) : std::wstring();
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
        reason.pop_back();
    if (reason.empty()) reason = L"Hata kodu " + std::to_wstring(code);
    return reason;
}

}  // namespace dva
