#include "drive_c.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "known_threats.h"
#include "window_driving.h"

namespace dva::e2e {

using drive::utf8;

std::wstring callsFile(const std::wstring& name) { return L"C:\\" + name + L"-calls.txt"; }

Calls recorderCalls(const std::wstring& name) {
    Calls calls;
    std::ifstream in{std::filesystem::path(callsFile(name))};
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        calls.push_back(line);
    }
    return calls;
}

RegistryValue::RegistryValue(HKEY root, std::wstring key, std::wstring name)
    : root_(root), key_(std::move(key)), name_(std::move(name)) {
    DWORD size = sizeof old_;
    had_ = RegGetValueW(root_, key_.c_str(), name_.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type_, old_, &size) == 0;
    oldSize_ = size;
}

RegistryValue::~RegistryValue() {
    if (had_) {
        RegSetKeyValueW(root_, key_.c_str(), name_.c_str(), type_, old_, oldSize_);
    } else {
        RegDeleteKeyValueW(root_, key_.c_str(), name_.c_str());
    }
}

void RegistryValue::set(DWORD type, const void* data, size_t size) {
    ASSERT_EQ(RegSetKeyValueW(root_, key_.c_str(), name_.c_str(), type, data, static_cast<DWORD>(size)), 0)
        << "could not set " << utf8(key_) << "\\" << utf8(name_);
}

DWORD attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }
bool exists(const std::wstring& path) { return attributes(path) != INVALID_FILE_ATTRIBUTES; }

void removePath(const std::wstring& path) {
    // Not read-only, hidden or system, nor anything inside it: a read-only file is not deleted.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::error_code ignored;
    // (Walked without exceptions: a folder that cannot be read ends the walk, not the test program.)
    for (std::filesystem::recursive_directory_iterator it(path, ignored), end; !ignored && it != end; it.increment(ignored))
        SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(path, ignored);
    if (exists(path)) ADD_FAILURE() << "could not remove " << utf8(path) << " (" << ignored.message() << ")";
}

void placeFile(const std::wstring& path, DWORD attrs) {
    removePath(path);
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    // Given at creation; Wine still sets them a moment after the file appears.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, CREATE_NEW, attrs ? attrs : FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "could not create " << utf8(path) << " (error " << GetLastError() << ")";
    const char content[] = "not a real threat: a file placed by the end-to-end tests\r\n";
    DWORD written = 0;
    WriteFile(h, content, sizeof content - 1, &written, nullptr);
    CloseHandle(h);
}

std::string threatFilesPresent() {
    std::ostringstream out;
    for (const wchar_t* path : test::kKnownThreats) {
        if (exists(path)) out << "  " << utf8(path) << " (attributes 0x" << std::hex << attributes(path) << ")\n";
    }
    return out.str().empty() ? "  none\n" : out.str();
}

std::shared_ptr<void> holdOpen(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : std::shared_ptr<void>(h, CloseHandle);
}


// Through Wine's wine_get_unix_file_name, looked up: only Wine has it.
std::string unixPath(const std::wstring& path) {
    using ToUnix = char* (*)(const wchar_t*);  // cdecl, as Wine exports it
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = toUnix ? toUnix(path.c_str()) : nullptr;
    if (!name) return {};
    std::string out = name;
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}


}  // namespace dva::e2e
