// The files the program is meant to find, in the order it is meant to report them, as the user
// knows them from the product's description. The tests place files here and clear these paths.
#pragma once

#include <array>

namespace dva::e2e {

inline constexpr std::array<const wchar_t*, 19> kKnownThreats{
    L"C:\\AutoRun.inf", L"C:\\ActivexDebugger32.exe", L"C:\\System32.exe", L"C:\\Explorer.exe",
    L"C:\\bittorrent.exe", L"C:\\logged.txt", L"C:\\RavMon.exe",
    L"C:\\amvo.exe", L"C:\\amvo.dll", L"C:\\amvo.reg",  // letter o
    L"C:\\amv0.exe", L"C:\\amv0.dll",                   // digit zero
    L"C:\\mdm.exe", L"C:\\svchost.dll", L"C:\\svchost.exe", L"C:\\WINDOWS\\eksplorasi.exe",
    L"C:\\WINDOWS\\ShellNew\\bronstab.exe", L"C:\\WINDOWS\\services.exe", L"C:\\WINDOWS\\system32\\NvCpls.exe",
};

}  // namespace dva::e2e
