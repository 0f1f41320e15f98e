// The program file as Explorer's properties page shows it: its version block and its icon.
#include "driver.h"

namespace dva::e2e {
namespace {

const std::wstring kProgramFile = programFile();

TEST(ProgramFile, CarriesTheVersionBlockAndOneIconOf32By32Pixels) {
    DWORD ignored = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeW(kProgramFile.c_str(), &ignored));
    ASSERT_FALSE(block.empty()) << "no version block (error " << GetLastError() << ")";
    ASSERT_TRUE(GetFileVersionInfoW(kProgramFile.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    void* value = nullptr;
    UINT length = 0;
    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } entries[] = {
        {L"ProductName", L"Dravonil Veriz Avize Beta 0.1"}, {L"FileDescription", L"Dravonil Veriz Avize Beta 0.1"},
        {L"Comments", L"Dravonil Veriz Avize Beta 0.1"},    {L"InternalName", L"Dravonil Veriz Avize"},
        {L"OriginalFilename", L"Dravonil Veriz Avize.exe"}, {L"FileVersion", L"0.01"},
        {L"ProductVersion", L"0.01"},
    };
    for (const auto& e : entries) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + e.name;
        if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || !value) {
            ADD_FAILURE() << "no entry " << utf8(e.name) << " in the U.S. English Unicode table";
            continue;
        }
        std::wstring text(static_cast<const wchar_t*>(value), length);  // the length may count the NUL
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        EXPECT_TEXT(text, e.value) << utf8(e.name);
    }
    // That table is the only one.
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u) << "more or fewer than one translation";
    EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0409);
    EXPECT_EQ(static_cast<const WORD*>(value)[1], 1200);

    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_TRUE(fixed.dwFileVersionMS == MAKELONG(1, 0) && fixed.dwFileVersionLS == 0) << "file version not 0.1.0.0";
    EXPECT_TRUE(fixed.dwProductVersionMS == MAKELONG(1, 0) && fixed.dwProductVersionLS == 0) << "product version";
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));

    // One icon, of one 32 by 32 image.
    HMODULE exe = LoadLibraryExW(kProgramFile.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr) << "could not open the program file (error " << GetLastError() << ")";
    std::vector<LPWSTR> groups;  // numbered: no names to copy
    EnumResourceNamesW(
        exe, RT_GROUP_ICON,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR lp) -> BOOL {
            reinterpret_cast<std::vector<LPWSTR>*>(lp)->push_back(name);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&groups));
    ASSERT_EQ(groups.size(), 1u) << "the program file should carry exactly one icon";
    ASSERT_TRUE(IS_INTRESOURCE(groups.front())) << "the icon is named, not numbered";
    // An RT_GROUP_ICON resource: a 6-byte head (reserved, type, count), then 14-byte entries
    // starting with width and height.
    const auto* group = static_cast<const BYTE*>(
        LockResource(LoadResource(exe, FindResourceW(exe, groups.front(), RT_GROUP_ICON))));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(*reinterpret_cast<const WORD*>(group + 4), 1) << "the icon has more or fewer than one image";
    EXPECT_EQ(group[6], 32) << "width";
    EXPECT_EQ(group[7], 32) << "height";
    FreeLibrary(exe);
}

}  // namespace
}  // namespace dva::e2e
