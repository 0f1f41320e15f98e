#include "command_run.h"

#include <windows.h>

#include <string>

#include "handles.h"
#include "message_loop.h"

namespace dva {

OpResult runCommandLine(std::wstring_view line, unsigned waitMs, bool inBackground) {
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

}  // namespace dva
