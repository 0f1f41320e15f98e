// A stand-in for another program (a browser, a system command). Each start appends one UTF-8 line
// to C:\<its own file name>-calls.txt (C:\iexplore-calls.txt when copied as iexplore.exe): the
// file name of the process that started it, then its arguments, program first, all separated by
// tabs. With DVA_RECORDER_LINGER_MS set in its environment it then waits that long before it
// ends, as a command that hangs would.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <string>

namespace {

std::string utf8(const wchar_t* text) {
    char out[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out - 1, nullptr, nullptr);
    return out;
}

std::wstring parentName() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return L"?";
    DWORD parent = 0;
    std::wstring name = L"?";
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (parent && entry.th32ProcessID == parent) name = entry.szExeFile;
    CloseHandle(snapshot);
    const size_t slash = name.find_last_of(L"\\/");
    return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::string line = utf8(parentName().c_str());
    for (int i = 0; i < argc; ++i) {
        line += '\t';
        line += utf8(argv[i]);
    }
    line += "\r\n";

    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring name = self;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    if (const size_t dot = name.find_last_of(L'.'); dot != std::wstring::npos) name.resize(dot);
    // Opened for appending only, shared: starts close together add whole lines one after another.
    HANDLE log = CreateFileW((L"C:\\" + name + L"-calls.txt").c_str(), FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(log);

    wchar_t linger[16] = {};
    if (GetEnvironmentVariableW(L"DVA_RECORDER_LINGER_MS", linger, 16)) Sleep(static_cast<DWORD>(_wtoi(linger)));
    return 0;
}
