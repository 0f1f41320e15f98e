// A stand-in for a web browser: each start appends its arguments, program first, as one UTF-8 line
// with tabs between them, to C:\iexplore-calls.txt and ends.
#include <windows.h>
#include <shellapi.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::string line;
    for (int i = 0; i < argc; ++i) {
        char utf8[4096] = {};
        WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, utf8, sizeof utf8 - 1, nullptr, nullptr);
        if (i) line += '\t';
        line += utf8;
    }
    line += "\r\n";
    // Opened for appending only, shared: starts close together add whole lines one after another.
    HANDLE log = CreateFileW(L"C:\\iexplore-calls.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(log);
    return 0;
}
