// Drive C and the registry as the end-to-end cases prepare and check them: files placed, held
// open and removed, registry values put back, and what the recorder stand-in wrote down.
#pragma once

#include <windows.h>
#include <shtypes.h>

#include <memory>
#include <string>
#include <vector>

#include "known_folder.h"

namespace dva::e2e {

bool exists(const std::wstring& path);
DWORD attributes(const std::wstring& path);  // INVALID_FILE_ATTRIBUTES when absent
void removePath(const std::wstring& path);   // a file or a whole folder, whatever its marks
void placeFile(const std::wstring& path, DWORD attrs = 0);  // makes its parent folders too
std::string threatFilesPresent();
std::string unixPath(const std::wstring& path);  // of a Windows path under Wine; empty elsewhere
using test::knownFolder;  // a known folder's path (FOLDERID_...), or empty

// An open handle to the file that lets others read and write it but not delete it; empty on failure.
std::shared_ptr<void> holdOpen(const std::wstring& path);

// The starts of the recorder when it was copied as <name>.exe: per start, the file name of the
// process that started it, the program and its arguments, separated by tabs.
using Calls = std::vector<std::string>;
std::wstring callsFile(const std::wstring& name);  // C:\<name>-calls.txt
Calls recorderCalls(const std::wstring& name);

// A registry value put back as it was (or removed) when the object goes.
class RegistryValue {
public:
    RegistryValue(HKEY root, std::wstring key, std::wstring name);
    ~RegistryValue();
    RegistryValue(const RegistryValue&) = delete;
    RegistryValue& operator=(const RegistryValue&) = delete;
    void set(DWORD type, const void* data, size_t size);
    void set(const std::wstring& text) { set(REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t)); }

private:
    HKEY root_;
    std::wstring key_, name_;
    DWORD type_ = 0, oldSize_ = 0;
    BYTE old_[4096];
    bool had_ = false;
};

}  // namespace dva::e2e
