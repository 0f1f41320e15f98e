#include "exact_file.h"

#include <windows.h>
#include <sddl.h>

#include <string>

#include "handles.h"
#include "system_function.h"

namespace dva {
namespace {

// A 32-bit build on 64-bit Windows would otherwise see C:\WINDOWS\system32 through the file
// system redirector as SysWOW64: the program must test and delete the very paths it names.
class NoFsRedirection {
public:
    NoFsRedirection() {
        if (auto disable = api().disable) ok_ = disable(&old_);
    }
    ~NoFsRedirection() {
        if (ok_) api().revert(old_);
    }
    NoFsRedirection(const NoFsRedirection&) = delete;
    NoFsRedirection& operator=(const NoFsRedirection&) = delete;

private:
    struct Api {
        BOOL(WINAPI* disable)(PVOID*) = nullptr;
        BOOL(WINAPI* revert)(PVOID) = nullptr;
    };
    static const Api& api() {
        static const Api a = [] {
            Api r;
#ifndef _WIN64
            HMODULE k = GetModuleHandleW(L"kernel32.dll");
            lookUp(r.disable, k, "Wow64DisableWow64FsRedirection");
            lookUp(r.revert, k, "Wow64RevertWow64FsRedirection");
            if (!r.revert) r.disable = nullptr;
#endif
            return r;
        }();
        return a;
    }
    PVOID old_ = nullptr;
    BOOL ok_ = FALSE;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

OpResult lastError(BOOL ok) { return ok ? OpResult{} : OpResult{GetLastError()}; }

// A path as written by the user or the program, and as GetFinalPathNameByHandleW gives it back
// ("\\?\C:\..." or "\\?\UNC\server\..."), brought to the same form.
std::wstring withoutLongPrefix(std::wstring path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + path.substr(7);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

}  // namespace

ExactFile openExactly(const std::wstring& path, DWORD access, DWORD share, FileDescription describe) {
    HANDLE h = CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {UniqueHandle(), OpResult{GetLastError()}};
    UniqueHandle file(h);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!describe(h, &info)) return {UniqueHandle(), OpResult{GetLastError()}};
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return {UniqueHandle(), OpResult{kRefusedReparsePoint}};
    // A folder there now is not the file that was seen: as if it had gone.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {UniqueHandle(), OpResult{kErrorFileNotFound}};
    std::wstring finalPath = grownText(
        [h](wchar_t* buffer, DWORD size) { return GetFinalPathNameByHandleW(h, buffer, size, FILE_NAME_NORMALIZED); });
    if (finalPath.empty()) return {UniqueHandle(), OpResult{GetLastError()}};
    const std::wstring named = withoutLongPrefix(path);
    finalPath = withoutLongPrefix(std::move(finalPath));
    if (CompareStringOrdinal(named.c_str(), static_cast<int>(named.size()), finalPath.c_str(), static_cast<int>(finalPath.size()),
                             TRUE) != CSTR_EQUAL)
        return {UniqueHandle(), OpResult{kRefusedRedirected}};
    if (info.nNumberOfLinks > 1) return {UniqueHandle(), OpResult{kRefusedHardLinks}};
    return {std::move(file), {}, info};
}

Presence presenceAt(std::wstring_view path) {
    NoFsRedirection guard;
    const DWORD a = GetFileAttributesW(std::wstring(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return Presence::Absent;
    if (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) return Presence::Absent;
    return (a & FILE_ATTRIBUTE_READONLY) ? Presence::PresentReadOnly : Presence::Present;
}

OpResult clearReadOnlyExactly(std::wstring_view path, FileDescription describe) {
    NoFsRedirection guard;
    const ExactFile file = openExactly(std::wstring(path), FILE_WRITE_ATTRIBUTES, kShareAll, describe);
    if (!file.result.ok()) return file.result;
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(file.handle.get(), FileBasicInfo, &basic, sizeof basic))
        return OpResult{GetLastError()};
    basic.FileAttributes &= ~DWORD{FILE_ATTRIBUTE_READONLY};
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;  // 0 would mean "unchanged"
    basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = basic.LastWriteTime.QuadPart =
        basic.ChangeTime.QuadPart = 0;  // left as they are
    return lastError(SetFileInformationByHandle(file.handle.get(), FileBasicInfo, &basic, sizeof basic));
}

// Deleted through the handle that was checked, so nothing can swap the path in between.
OpResult deleteExactly(std::wstring_view path, FileDescription describe) {
    NoFsRedirection guard;
    const ExactFile file = openExactly(std::wstring(path), DELETE, kShareAll, describe);
    if (!file.result.ok()) return file.result;
    FILE_DISPOSITION_INFO disposition{TRUE};
    return lastError(SetFileInformationByHandle(file.handle.get(), FileDispositionInfo, &disposition, sizeof disposition));
}

// The folder that stands in for a root autorun file must stay there: left to inherit from the
// drive's root, it would get the entries through which users may change what they made there.
// Its own list instead, not inherited: the system and administrators may do anything, users may
// only look into it (no delete, no rename, no change of its list or its owner, nothing added).
constexpr wchar_t kProtectedFolderSecurity[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

OpResult makeFolderAt(std::wstring_view path, FolderCreation create) {
    NoFsRedirection guard;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedFolderSecurity, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return OpResult{GetLastError()};
    const UniqueLocalMemory descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    return lastError(create(std::wstring(path).c_str(), &attributes));
}

}  // namespace dva
