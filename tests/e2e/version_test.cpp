// The program file as Explorer's properties page shows it: its version block and its icon.
#include <optional>
#include <string>
#include <vector>

#include "driver.h"

namespace dva::e2e {
namespace {

std::wstring programFile() { return binDir() + L"Dravonil Veriz Avize.exe"; }

class ProgramFile : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring file = programFile();
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
        ASSERT_GT(size, 0u) << utf8(file) << " has no version block (error " << GetLastError() << ")";
        block_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, size, block_.data()))
            << "could not read the version block (error " << GetLastError() << ")";
    }

    // A text entry of the U.S. English, Unicode string table; nullopt when it is missing.
    std::optional<std::wstring> entry(const wchar_t* name) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(block_.data(), path.c_str(), &value, &length) || !value) return std::nullopt;
        // The length counts the closing NUL, when there is one.
        std::wstring text(static_cast<const wchar_t*>(value), length);
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return text;
    }

    std::vector<BYTE> block_;
};

TEST_F(ProgramFile, CarriesTheProductsVersionBlock) {
    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } entries[] = {
        {L"ProductName", L"Dravonil Veriz Avize Beta 0.1"},
        {L"FileDescription", L"Dravonil Veriz Avize Beta 0.1"},
        {L"Comments", L"Dravonil Veriz Avize Beta 0.1"},
        {L"InternalName", L"Dravonil Veriz Avize"},
        {L"OriginalFilename", L"Dravonil Veriz Avize.exe"},
        {L"FileVersion", L"0.01"},
        {L"ProductVersion", L"0.01"},
    };
    for (const auto& e : entries) {
        const auto value = entry(e.name);
        if (!value) {
            ADD_FAILURE() << "no entry " << utf8(e.name) << " in the string table 040904B0";
            continue;
        }
        EXPECT_TEXT(*value, e.value) << utf8(e.name);
    }
    // The table is announced as U.S. English in Unicode, and is the only one.
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u) << "more or fewer than one translation";
    const auto* pair = static_cast<const WORD*>(value);
    EXPECT_EQ(pair[0], 0x0409);
    EXPECT_EQ(pair[1], 1200);

    ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\", &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwFileVersionMS, MAKELONG(1, 0)) << "file version 0.1";
    EXPECT_EQ(fixed.dwFileVersionLS, 0u) << "file version x.x.0.0";
    EXPECT_EQ(fixed.dwProductVersionMS, MAKELONG(1, 0)) << "product version 0.1";
    EXPECT_EQ(fixed.dwProductVersionLS, 0u) << "product version x.x.0.0";
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
}

#pragma pack(push, 2)
struct IconGroupEntry {  // one image of an RT_GROUP_ICON resource
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct IconGroup {
    WORD reserved, type, count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

TEST_F(ProgramFile, HasOneIconOf32By32Pixels) {
    HMODULE exe = LoadLibraryExW(programFile().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr) << "could not open the program file (error " << GetLastError() << ")";
    std::vector<LPWSTR> groups;
    EnumResourceNamesW(
        exe, RT_GROUP_ICON,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR lp) -> BOOL {
            reinterpret_cast<std::vector<LPWSTR>*>(lp)->push_back(name);  // ids only: no strings to keep
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&groups));
    ASSERT_EQ(groups.size(), 1u) << "the program file should carry exactly one icon";
    ASSERT_TRUE(IS_INTRESOURCE(groups.front())) << "the icon is named, not numbered";

    HRSRC found = FindResourceW(exe, groups.front(), RT_GROUP_ICON);
    ASSERT_NE(found, nullptr);
    const auto* group = static_cast<const IconGroup*>(LockResource(LoadResource(exe, found)));
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->count, 1) << "the icon has more or fewer than one image";
    EXPECT_EQ(group->entries[0].width, 32);
    EXPECT_EQ(group->entries[0].height, 32);
    EXPECT_EQ(group->entries[0].bitCount, 24);

    // The image loads as a 32 by 32 icon, as the window and the notification area use it.
    HICON icon = static_cast<HICON>(LoadImageW(exe, groups.front(), IMAGE_ICON, 0, 0, 0));  // at its own size
    ASSERT_NE(icon, nullptr) << "the icon does not load (error " << GetLastError() << ")";
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour{};
    ASSERT_NE(info.hbmColor, nullptr) << "a monochrome icon";
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, 32);
    EXPECT_EQ(colour.bmHeight, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
    FreeLibrary(exe);
}

}  // namespace
}  // namespace dva::e2e
