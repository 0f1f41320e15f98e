// The known threat table: the fixed paths at which known viruses leave their files on drive C.
#pragma once

#include <array>
#include <cstdint>

namespace dva {

struct ThreatEntry {
    const wchar_t* path;           // tested, listed and deleted exactly as written here
    const wchar_t* killProgram;    // a program of the system folder, started before the delete, or nullptr
    const wchar_t* killArguments;  // its arguments
};

// The root AutoRun file: a threat like the others, and the path that AutoRun protection replaces
// by a folder.
inline constexpr wchar_t kAutoRunPath[] = L"C:\\AutoRun.inf";

// "amvo" (letter o) and "amv0" (digit zero) name different files.
inline constexpr std::array<ThreatEntry, 19> kThreatTable{{
    {kAutoRunPath, nullptr, nullptr},
    {L"C:\\ActivexDebugger32.exe", nullptr, nullptr},
    {L"C:\\System32.exe", nullptr, nullptr},
    {L"C:\\Explorer.exe", nullptr, nullptr},
    {L"C:\\bittorrent.exe", nullptr, nullptr},
    {L"C:\\logged.txt", nullptr, nullptr},
    {L"C:\\RavMon.exe", nullptr, nullptr},
    {L"C:\\amvo.exe", L"taskkill.exe", L"/F /IM amvo.exe"},
    {L"C:\\amvo.dll", nullptr, nullptr},
    {L"C:\\amvo.reg", nullptr, nullptr},
    {L"C:\\amv0.exe", nullptr, nullptr},
    {L"C:\\amv0.dll", nullptr, nullptr},
    {L"C:\\mdm.exe", nullptr, nullptr},
    {L"C:\\svchost.dll", nullptr, nullptr},
    {L"C:\\svchost.exe", nullptr, nullptr},
    {L"C:\\WINDOWS\\eksplorasi.exe", nullptr, nullptr},
    {L"C:\\WINDOWS\\ShellNew\\bronstab.exe", nullptr, nullptr},
    {L"C:\\WINDOWS\\services.exe", nullptr, nullptr},
    {L"C:\\WINDOWS\\system32\\NvCpls.exe", nullptr, nullptr},
}};

// How long the delete of a killed process's file waits for the kill command to finish.
inline constexpr unsigned kKillWaitMs = 5000;
// A file that stays after its kill and delete is retried every pass, but its kill command is
// started again only after this long: a process that cannot be ended is not hammered.
inline constexpr std::uint64_t kKillRetryMs = 10000;

}  // namespace dva
