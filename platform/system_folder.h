// Where the system's own programs are started from.
#pragma once

#include <string>

namespace dva {

// True for a 32-bit program on 64-bit Windows (WoW64), whatever the processor.
bool runsUnderWow64();

// The folder of the system's own programs that a program of this build starts, without a trailing
// separator: System32, or for a 32-bit program on 64-bit Windows the Sysnative alias through
// which it reaches the native System32. Its own System32 is redirected to SysWOW64, whose 32-bit
// programs do not see 64-bit processes (a 32-bit taskkill cannot end a 64-bit threat by name).
// Empty when the system does not answer.
std::wstring systemProgramFolder();

}  // namespace dva
