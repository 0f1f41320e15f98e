#include "elevation.h"

#include <windows.h>

#include "handles.h"

namespace dva {

bool runningElevated() { return processElevated(GetCurrentProcess()).value_or(false); }

std::optional<bool> processElevated(HANDLE process) {
    UniqueHandle token;
    if (!OpenProcessToken(process, TOKEN_QUERY, token.put())) return std::nullopt;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size)) return std::nullopt;
    return elevation.TokenIsElevated != 0;
}

}  // namespace dva
