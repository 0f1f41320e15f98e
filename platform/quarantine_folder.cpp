#include "quarantine_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <vector>

#include "elevation.h"
#include "handles.h"
#include "product_config.h"

namespace dva {
namespace quarantine_folder_detail {
namespace {

constexpr wchar_t kQuarantineName[] = L"quarantine";

// The SID of the user this process runs as, in a buffer of its own.
OpResult currentUser(std::vector<BYTE>& sid) {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {GetLastError()};
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {GetLastError()};
    const PSID user = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    sid.assign(static_cast<const BYTE*>(user), static_cast<const BYTE*>(user) + GetLengthSid(user));
    return {};
}

OpResult sidText(PSID sid, std::wstring& text) {
    PWSTR converted = nullptr;
    if (!ConvertSidToStringSidW(sid, &converted)) return {GetLastError()};
    const UniqueLocalMemory owner(converted);
    text = converted;
    return {};
}

bool isWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE known[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof known;
    return CreateWellKnownSid(type, nullptr, known, &size) && EqualSid(sid, known);
}

// The folder at `path` as it now stands, opened without following a link: refused when it is a
// reparse point, no folder, or owned by anyone but Administrators, SYSTEM or (user's copy) the user.
OpResult checkFolder(const std::wstring& path, PSID user, FileDescription describe) {
    const HANDLE opened = CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return {GetLastError()};
    const UniqueHandle folder(opened);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!describe(folder.get(), &info)) return {GetLastError()};
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return {kRefusedQuarantineLink};
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return {ERROR_DIRECTORY};
    if (!ownersKept()) return {};
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read = GetSecurityInfo(folder.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                       nullptr, nullptr, &descriptor);
    if (read != ERROR_SUCCESS) return {read};
    const UniqueLocalMemory descriptorOwner(descriptor);
    if (owner == nullptr) return {kRefusedQuarantineOwner};
    return trustedOwner(owner, user) ? OpResult{} : OpResult{kRefusedQuarantineOwner};
}

// Makes the folder with `descriptor` unless something is there already, then checks what is there
// either way: a folder made a moment earlier by someone else is checked like an old one.
OpResult makeOrFind(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor, PSID user, FileDescription describe) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    if (!CreateDirectoryW(path.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS) return {GetLastError()};
    return checkFolder(path, user, describe);
}

}  // namespace

bool ownersKept() {
    // Wine keeps no owner for a file: it reads every file as owned by the user running it (a
    // folder made with the owner Administrators, or Everyone, reads back as the user's). There no
    // owner can be told apart from another. Windows never exports wine_get_version.
    static const bool kept = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr;
    return kept;
}

bool trustedOwner(PSID owner, PSID user) {
    return isWellKnown(owner, WinBuiltinAdministratorsSid) || isWellKnown(owner, WinLocalSystemSid) ||
           (user != nullptr && EqualSid(owner, user));
}

std::wstring folderSecurity(bool administrators, const std::wstring& userSid) {
    // Owned by Administrators (a member may name the group as owner): a machine whose policy makes
    // the creating user the owner of what administrators make still gets a folder the check takes.
    if (administrators) return L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    return L"O:" + userSid + L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;" + userSid + L")";
}

OpResult quarantineFolderIn(const std::wstring& base, bool administrators, std::wstring& folder, FileDescription describe) {
    std::vector<BYTE> user;
    std::wstring userSid;
    if (!administrators) {
        if (const OpResult got = currentUser(user); !got.ok()) return got;
        if (const OpResult text = sidText(user.data(), userSid); !text.ok()) return text;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(folderSecurity(administrators, userSid).c_str(),
                                                              SDDL_REVISION_1, &descriptor, nullptr))
        return {GetLastError()};
    const UniqueLocalMemory descriptorOwner(descriptor);
    const PSID trustedUser = administrators ? nullptr : static_cast<PSID>(user.data());

    const std::wstring product = base + L"\\" + DVA_PRODUCT_NAME;
    if (const OpResult parent = makeOrFind(product, descriptor, trustedUser, describe); !parent.ok()) return parent;
    const std::wstring quarantine = product + L"\\" + kQuarantineName;
    if (const OpResult own = makeOrFind(quarantine, descriptor, trustedUser, describe); !own.ok()) return own;
    folder = quarantine;
    return {};
}

}  // namespace quarantine_folder_detail

namespace {

struct FreeCoTaskMemory {
    void operator()(PWSTR text) const { CoTaskMemFree(text); }
};
using UniqueCoTaskText = Unique<NullMeansNone<PWSTR, FreeCoTaskMemory>>;

}  // namespace

OpResult quarantineFolder(std::wstring& folder) {
    const bool administrators = runningElevated();
    PWSTR known = nullptr;
    const HRESULT found =
        SHGetKnownFolderPath(administrators ? FOLDERID_ProgramData : FOLDERID_LocalAppData, 0, nullptr, &known);
    const UniqueCoTaskText knownOwner(known);
    if (FAILED(found)) {
        // Mostly a system error wrapped as an HRESULT: its own code then, else the HRESULT.
        const auto code = static_cast<std::uint32_t>(found);
        return {HRESULT_FACILITY(found) == FACILITY_WIN32 ? static_cast<std::uint32_t>(HRESULT_CODE(found)) : code};
    }
    std::wstring base(known);
    while (!base.empty() && base.back() == L'\\') base.pop_back();
    return quarantine_folder_detail::quarantineFolderIn(base, administrators, folder);
}

}  // namespace dva
