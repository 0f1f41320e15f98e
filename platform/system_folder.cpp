#include "system_folder.h"

#include <windows.h>

#include "system_function.h"

namespace dva {
namespace {

std::wstring withoutTrailingSeparator(const wchar_t* folder, UINT length) {
    std::wstring path(folder, length < MAX_PATH ? length : 0);
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

}  // namespace

bool runsUnderWow64() {
    // IsWow64Process2 (Windows 10) also tells an x86 program on ARM64 apart; IsWow64Process is
    // its fallback on older Windows. Both are looked up, so the program still starts where
    // neither exists.
    using Wow64Process2 = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    using Wow64Process = BOOL(WINAPI*)(HANDLE, BOOL*);
    static const bool wow64 = [] {
        const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        Wow64Process2 ask2 = nullptr;
        lookUp(ask2, kernel, "IsWow64Process2");
        USHORT process = IMAGE_FILE_MACHINE_UNKNOWN, native = IMAGE_FILE_MACHINE_UNKNOWN;
        if (ask2 && ask2(GetCurrentProcess(), &process, &native)) return process != IMAGE_FILE_MACHINE_UNKNOWN;
        Wow64Process ask = nullptr;
        lookUp(ask, kernel, "IsWow64Process");
        BOOL under = FALSE;
        return ask && ask(GetCurrentProcess(), &under) && under;
    }();
    return wow64;
}

std::wstring systemProgramFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (runsUnderWow64()) {
        // The system's own Windows folder, not a terminal-server user's private one.
        const std::wstring windows = withoutTrailingSeparator(folder, GetSystemWindowsDirectoryW(folder, MAX_PATH));
        return windows.empty() ? windows : windows + L"\\Sysnative";
    }
    return withoutTrailingSeparator(folder, GetSystemDirectoryW(folder, MAX_PATH));
}

}  // namespace dva
