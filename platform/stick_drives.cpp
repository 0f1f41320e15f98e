#include "stick_drives.h"

#include <windows.h>
#include <winioctl.h>

#include <string>

#include "handles.h"

namespace dva {
namespace {

wchar_t systemDriveLetter() {
    wchar_t folder[MAX_PATH] = {};
    if (!GetSystemWindowsDirectoryW(folder, MAX_PATH)) return L'C';
    return folder[0] >= L'a' && folder[0] <= L'z' ? static_cast<wchar_t>(folder[0] - L'a' + L'A') : folder[0];
}

// A SUBST drive stands for a folder of another drive: the system names it "\??\C:\folder".
bool substituted(wchar_t letter) {
    const wchar_t drive[] = {letter, L':', L'\0'};
    wchar_t target[MAX_PATH] = {};
    return QueryDosDeviceW(drive, target, MAX_PATH) && std::wstring_view(target).rfind(L"\\??\\", 0) == 0;
}

// Opened with no access at all: enough to ask the disk's properties, and no "insert a disk" box.
bool onUsbBus(wchar_t letter) {
    const std::wstring device = std::wstring(L"\\\\.\\") + letter + L':';
    HANDLE h = CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const UniqueHandle disk(h);
    STORAGE_PROPERTY_QUERY query{StorageDeviceProperty, PropertyStandardQuery, {0}};
    STORAGE_DEVICE_DESCRIPTOR descriptor{};
    DWORD got = 0;
    if (!DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &descriptor, sizeof descriptor, &got, nullptr))
        return false;
    return got >= offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof descriptor.BusType && descriptor.BusType == BusTypeUsb;
}

}  // namespace

std::uint32_t driveLetters() { return GetLogicalDrives(); }

bool isStickDrive(wchar_t letter) {
    if (letter < L'C' || letter > L'Z') return false;
    static const wchar_t system = systemDriveLetter();
    if (letter == system) return false;
    const wchar_t root[] = {letter, L':', L'\\', L'\0'};
    switch (GetDriveTypeW(root)) {
    case DRIVE_REMOVABLE: return !substituted(letter);
    case DRIVE_FIXED: return !substituted(letter) && onUsbBus(letter);
    default: return false;
    }
}

void failCriticalErrorsQuietly() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, nullptr); }

}  // namespace dva
