// Whether this process runs with raised rights: what the single-copy check, the support window's
// door and the opening of web pages decide by.
#pragma once

#include <windows.h>

#include <optional>

namespace dva {

// Whether this process runs with raised (administrator) rights.
bool runningElevated();

// Whether the process runs raised, as its token says; nothing when the token cannot be read (the
// handle needs PROCESS_QUERY_LIMITED_INFORMATION).
std::optional<bool> processElevated(HANDLE process);

}  // namespace dva
