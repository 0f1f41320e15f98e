// The known threat table: the fixed paths at which known viruses leave their files on drive C.
#pragma once

#include <array>

namespace dva {

struct ThreatEntry {
    const wchar_t* path;         // tested, listed and deleted exactly as written here
    const wchar_t* killCommand;  // started before the delete, or nullptr
};

// The root AutoRun file: a threat like the others, and the path that AutoRun protection replaces
// by a folder.
inline constexpr wchar_t kAutoRunPath[] = L"C:\\AutoRun.inf";

// "amvo" (letter o) and "amv0" (digit zero) name different files.
inline constexpr std::array<ThreatEntry, 19> kThreatTable{{
    {kAutoRunPath, nullptr},
    {L"C:\\ActivexDebugger32.exe", nullptr},
    {L"C:\\System32.exe", nullptr},
    {L"C:\\Explorer.exe", nullptr},
    {L"C:\\bittorrent.exe", nullptr},
    {L"C:\\logged.txt", nullptr},
    {L"C:\\RavMon.exe", nullptr},
    {L"C:\\amvo.exe", L"taskkill /F /IM amvo.exe"},
    {L"C:\\amvo.dll", nullptr},
    {L"C:\\amvo.reg", nullptr},
    {L"C:\\amv0.exe", nullptr},
    {L"C:\\amv0.dll", nullptr},
    {L"C:\\mdm.exe", nullptr},
    {L"C:\\svchost.dll", nullptr},
    {L"C:\\svchost.exe", nullptr},
    {L"C:\\WINDOWS\\eksplorasi.exe", nullptr},
    {L"C:\\WINDOWS\\ShellNew\\bronstab.exe", nullptr},
    {L"C:\\WINDOWS\\services.exe", nullptr},
    {L"C:\\WINDOWS\\system32\\NvCpls.exe", nullptr},
}};

// How long the delete of a killed process's file waits for the kill command to finish.
inline constexpr unsigned kKillWaitMs = 5000;

}  // namespace dva
