// The folder the program starts the system's own commands from (the kill of a running threat):
// the one whose programs are built for the system itself. A 32-bit build on 64-bit Windows sees
// SysWOW64 at System32's path, and a 32-bit taskkill there cannot end a 64-bit process by name.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "system_folder.h"
#include "win32_runtime.h"

namespace dva {
namespace {

bool nativeSystemIs32Bit() {
    SYSTEM_INFO native{};
    GetNativeSystemInfo(&native);
    return native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL;
}

TEST(SystemFolder, HoldsTheSystemsOwnTaskkillForEitherBuild) {
    const bool wow64 = sizeof(void*) == 4 && !nativeSystemIs32Bit();
    EXPECT_EQ(runsUnderWow64(), wow64);

    const std::wstring folder = Win32Runtime().systemFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), L'\\');
    DWORD type = 0;
    const std::wstring taskkill = folder + L"\\taskkill.exe";
    ASSERT_TRUE(GetBinaryTypeW(taskkill.c_str(), &type))
        << "no program at " << taskkill << " (error " << GetLastError() << ")";
    EXPECT_EQ(type, nativeSystemIs32Bit() ? DWORD{SCS_32BIT_BINARY} : DWORD{SCS_64BIT_BINARY})
        << "the taskkill.exe of " << folder << " is not the system's own";

    // Named by the path a user would type, never a planted copy: a full path from the root.
    ASSERT_GE(folder.size(), 3u);
    EXPECT_EQ(folder.substr(1, 2), L":\\");
}

}  // namespace
}  // namespace dva
