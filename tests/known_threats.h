// The files the program is meant to find, in the order it is meant to report them, as the user
// knows them from the product's description: the tests' own list, written apart from the
// program's table on purpose (a test that read the table it checks would prove nothing). The
// unit tests expect the scan to visit them in this order; the end-to-end tests place files at
// these paths and clear them.
#pragma once

#include <array>

namespace dva::test {

inline constexpr std::array<const wchar_t*, 19> kKnownThreats{
    L"C:\\AutoRun.inf", L"C:\\ActivexDebugger32.exe", L"C:\\System32.exe", L"C:\\Explorer.exe",
    L"C:\\bittorrent.exe", L"C:\\logged.txt", L"C:\\RavMon.exe",
    L"C:\\amvo.exe", L"C:\\amvo.dll", L"C:\\amvo.reg",  // letter o
    L"C:\\amv0.exe", L"C:\\amv0.dll",                   // digit zero
    L"C:\\mdm.exe", L"C:\\svchost.dll", L"C:\\svchost.exe", L"C:\\WINDOWS\\eksplorasi.exe",
    L"C:\\WINDOWS\\ShellNew\\bronstab.exe", L"C:\\WINDOWS\\services.exe", L"C:\\WINDOWS\\system32\\NvCpls.exe",
};

}  // namespace dva::test
