#include "wine_tray.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "window_driving.h"

namespace dva::e2e {

using drive::processOf;

namespace {

// The Wine versions whose private icon record wineTrayIconTip was checked against.
constexpr std::string_view kTrayRecordCheckedWith[] = {"8.0"};

std::string wineVersion() {
    using GetVersion = const char* (*)();  // 64-bit Windows has one calling convention
    const auto get = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    return get ? get() : "";
}

bool trayRecordKnown() {
    static const bool known = [] {
        const std::string version = wineVersion();
        for (std::string_view checked : kTrayRecordCheckedWith) {
            if (version == checked || version.rfind(std::string(checked) + ".", 0) == 0) return true;
        }
        return false;
    }();
    if (!known) {
        // Once per test: the checks that poll for icons call this many times.
        static const ::testing::TestInfo* told = nullptr;
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        if (test != told) {
            told = test;
            ADD_FAILURE() << "the notification-area icons are read from Wine's private record of them, whose layout "
                             "was checked with Wine 8.0 only; this is Wine "
                          << wineVersion()
                          << ". Check that the record still holds the owner window in a pointer-aligned slot with "
                             "the tip as the next text, then add the version to kTrayRecordCheckedWith.";
        }
    }
    return known;
}

}  // namespace

// Reads Wine's record of an icon from its explorer process: the icon window's user data is the
// record's address there. The layout is Wine's own, so it is searched: the owner is a
// pointer-aligned slot holding a window handle, the tip the next text. Returns the tip of an icon
// whose owner passes the test, nullopt for another owner's icon, or for a Wine version the layout
// was not checked with (after failing the test with a message saying so).
std::optional<std::wstring> wineTrayIconTip(HWND icon, const std::function<bool(HWND)>& isOwner) {
    if (!trayRecordKnown()) return std::nullopt;
    const auto address = GetWindowLongPtrW(icon, GWLP_USERDATA);
    HANDLE tray = OpenProcess(PROCESS_VM_READ, FALSE, processOf(icon));
    std::vector<unsigned char> record;
    // The record may end close to the end of its page: read less until a read succeeds.
    for (size_t size = 512; address && tray && size >= 64 && record.empty(); size /= 2) {
        std::vector<unsigned char> buffer(size);
        SIZE_T got = 0;
        if (ReadProcessMemory(tray, reinterpret_cast<const void*>(address), buffer.data(), size, &got) && got == size)
            record = std::move(buffer);
    }
    if (tray) CloseHandle(tray);
    for (size_t at = 0; at + sizeof(HWND) <= std::min<size_t>(record.size(), 128); at += sizeof(HWND)) {
        HWND value = nullptr;
        std::memcpy(&value, record.data() + at, sizeof value);
        if (!value || !isOwner(value)) continue;
        // The first run of three or more printable characters ending in NUL.
        std::wstring run;
        for (at += sizeof(HWND); at + 2 <= record.size(); at += 2) {
            wchar_t c = 0;
            std::memcpy(&c, record.data() + at, 2);
            if (c == 0 && run.size() >= 3) return run;
            run = c >= 0x20 && !(c >= 0x7F && c <= 0x9F) ? run + c : L"";
        }
        return L"";
    }
    return std::nullopt;
}

}  // namespace dva::e2e
