// Functions of system DLLs looked up at run time: those newer than the oldest Windows the program
// runs on, and those of DLLs that only some runs need.
#pragma once

#include <windows.h>

#include <string>

namespace dva {

// Sets fn to the named export of module, or leaves it null when the module or the export is
// missing. The detour through void* keeps the FARPROC-to-pointer cast free of warnings.
template <class Fn>
void lookUp(Fn& fn, HMODULE module, const char* name) {
    fn = module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// The two-call pattern of the system calls that write text into the caller's buffer: `call(buffer,
// size)` answers the length written when it fits, the size it needs (its terminating zero
// counted) when it does not, and 0 on failure, which gives empty text (GetLastError() tells why).
template <class Call>
std::wstring grownText(Call call) {
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = call(text.data(), static_cast<DWORD>(text.size()));
        if (n == 0) return {};
        const bool fits = n < text.size();
        text.resize(n);
        if (fits) return text;
    }
}

// Loads a DLL of the system from the system folder only: a file of that name beside the program
// (a Downloads folder) or in the current folder is never loaded in its place. Systems too old
// for LOAD_LIBRARY_SEARCH_SYSTEM32 refuse the flag (error 87); they get the DLL by its full path.
inline HMODULE loadSystemLibrary(const wchar_t* name) {
    if (HMODULE m = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return m;
    if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
    std::wstring path = grownText([](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
    if (path.empty()) return nullptr;
    if (path.back() != L'\\') path += L'\\';
    path += name;
    return LoadLibraryW(path.c_str());
}

// Before any DLL is loaded on demand: DLLs are looked for in the system folder only, never in the
// program's own folder or the current one. Systems without SetDefaultDllDirectories at least take
// the current folder out of the search.
inline void searchSystemFolderForDlls() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    SetDefaultDllDirectoriesFn setDefault = nullptr;
    lookUp(setDefault, GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

}  // namespace dva
