// A known folder's path (FOLDERID_...), or empty: for the test programs that check where the
// program keeps things.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace dva::test {

inline std::wstring knownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) result = path;
    CoTaskMemFree(path);
    return result;
}

}  // namespace dva::test
