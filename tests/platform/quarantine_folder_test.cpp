// The quarantine's folder: made once with a list of its own, found again, and never used when it
// (or the program's folder above it) is a link or belongs to someone else.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "known_folder.h"

#include <string>

#include "elevation.h"
#include "handles.h"
#include "quarantine_folder.h"

namespace dva {
namespace {

using quarantine_folder_detail::folderSecurity;
using quarantine_folder_detail::ownersKept;
using quarantine_folder_detail::quarantineFolderIn;
using quarantine_folder_detail::trustedOwner;

using test::knownFolder;

// The folder's owner and list as SDDL ("O:BAD:P(A;OICI;FA;;;SY)...").
std::wstring securityOf(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return L"(unreadable)";
    PWSTR text = nullptr;
    std::wstring sddl = L"(unconvertible)";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr)) {
        sddl = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return sddl;
}

std::wstring currentUserSid() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    const UniqueHandle owner(token);
    BYTE buffer[256] = {};
    DWORD size = 0;
    PWSTR text = nullptr;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
        return {};
    std::wstring sid = text;
    LocalFree(text);
    return sid;
}

// A base folder of the test's own, for the cases that stage what the real one must never hold.
class QuarantineFolderIn : public ::testing::Test {
protected:
    QuarantineFolderIn() {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        base = std::wstring(temp) + L"dva-quarantine-base";
        product = base + L"\\Dravonil Veriz Avize";
        quarantine = product + L"\\quarantine";
        CreateDirectoryW(base.c_str(), nullptr);
    }
    ~QuarantineFolderIn() override {
        RemoveDirectoryW(quarantine.c_str());
        RemoveDirectoryW(product.c_str());
        RemoveDirectoryW(base.c_str());
    }
    // Makes a folder owned by `owner` (an SDDL owner: "WD" is Everyone).
    bool makeOwnedBy(const std::wstring& path, const std::wstring& owner) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        const std::wstring sddl = L"O:" + owner + L"D:P(A;OICI;FA;;;WD)";
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
            return false;
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        const BOOL made = CreateDirectoryW(path.c_str(), &attributes);
        LocalFree(descriptor);
        return made && securityOf(path).rfind(L"O:" + owner + L"D:", 0) == 0;
    }
    std::wstring base, product, quarantine;
};

// The program's own: under ProgramData for an elevated copy (the tests under Wine run elevated),
// under the user's LocalAppData otherwise; made with its list, found again as it is.
TEST(QuarantineFolder, MadeOnceWithItsOwnListThenFoundAgain) {
    const bool elevated = runningElevated();
    const std::wstring product = knownFolder(elevated ? FOLDERID_ProgramData : FOLDERID_LocalAppData) +
                                 L"\\Dravonil Veriz Avize";
    const std::wstring expected = product + L"\\quarantine";
    const bool wasThere = GetFileAttributesW(expected.c_str()) != INVALID_FILE_ATTRIBUTES;
    std::wstring folder;
    ASSERT_TRUE(quarantineFolder(folder).ok());
    EXPECT_EQ(folder, expected);
    EXPECT_NE(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    const std::wstring security = folderSecurity(elevated, currentUserSid());
    if (!wasThere && ownersKept()) {
        EXPECT_EQ(securityOf(folder), security);
        EXPECT_EQ(securityOf(product), security);
    }
    std::wstring again;
    ASSERT_TRUE(quarantineFolder(again).ok());
    EXPECT_EQ(again, folder);
    if (!wasThere) {
        RemoveDirectoryW(folder.c_str());
        RemoveDirectoryW(product.c_str());
    }
}

TEST_F(QuarantineFolderIn, AUsersCopyMakesItsFoldersAsTheUsersOwn) {
    const std::wstring user = currentUserSid();
    ASSERT_FALSE(user.empty());
    std::wstring folder;
    ASSERT_TRUE(quarantineFolderIn(base, false, folder).ok());
    EXPECT_EQ(folder, quarantine);
    if (ownersKept()) {
        EXPECT_EQ(securityOf(quarantine), folderSecurity(false, user));
    }
}

PSID sidOf(const wchar_t* text, UniqueLocalMemory& owner) {
    PSID sid = nullptr;
    ConvertStringSidToSidW(text, &sid);
    owner.reset(sid);
    return sid;
}

// Whom the check trusts, for each kind of copy; Wine keeps no owners, so this is where the rule
// itself is pinned.
TEST(QuarantineFolder, TrustsAdministratorsSystemAndAUsersCopysOwnUserOnly) {
    UniqueLocalMemory a, s, u, other, everyone, users;
    const PSID admins = sidOf(L"BA", a), system = sidOf(L"SY", s), user = sidOf(L"S-1-5-21-1-2-3-1001", u);
    const PSID otherUser = sidOf(L"S-1-5-21-1-2-3-1002", other), world = sidOf(L"WD", everyone), builtinUsers = sidOf(L"BU", users);
    for (const PSID copyUser : {PSID{}, user}) {
        EXPECT_TRUE(trustedOwner(admins, copyUser));
        EXPECT_TRUE(trustedOwner(system, copyUser));
        EXPECT_FALSE(trustedOwner(otherUser, copyUser));
        EXPECT_FALSE(trustedOwner(world, copyUser));
        EXPECT_FALSE(trustedOwner(builtinUsers, copyUser));
    }
    EXPECT_TRUE(trustedOwner(user, user));
    EXPECT_FALSE(trustedOwner(user, nullptr)) << "the administrators' copy trusts no user's folder";
    // Only Wine, which reads every file as its user's, has no owners to check.
    EXPECT_EQ(ownersKept(), GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr);
}

// Any folder on the way that is a link. The file system decides what counts as one, and Wine
// marks none: the account of the opened folder says so here.
BOOL WINAPI describedAsLink(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
    if (!GetFileInformationByHandle(file, info)) return FALSE;
    info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return TRUE;
}

TEST_F(QuarantineFolderIn, ALinkOrAFolderOfSomeoneElsesIsNeverUsed) {
    std::wstring folder;
    EXPECT_EQ(quarantineFolderIn(base, true, folder, describedAsLink).error, kRefusedQuarantineLink);
    EXPECT_TRUE(folder.empty());
    RemoveDirectoryW(product.c_str());

    // Someone else's folder, in place of the program's or of the quarantine: either is refused,
    // for both kinds of copy.
    for (const std::wstring* foreign : {&product, &quarantine}) {
        if (foreign == &quarantine) {
            ASSERT_TRUE(quarantineFolderIn(base, true, folder).ok());
        }
        RemoveDirectoryW(foreign->c_str());
        const bool staged = makeOwnedBy(*foreign, L"WD");
        if (!ownersKept()) {
            // Wine: the folder reads as the user's whatever its owner was made; the rule itself is
            // pinned by the case above.
            RemoveDirectoryW(quarantine.c_str());
            RemoveDirectoryW(product.c_str());
            continue;
        }
        ASSERT_TRUE(staged) << "cannot stage a folder owned by Everyone: " << securityOf(*foreign);
        folder.clear();
        EXPECT_EQ(quarantineFolderIn(base, true, folder).error, kRefusedQuarantineOwner);
        EXPECT_EQ(quarantineFolderIn(base, false, folder).error, kRefusedQuarantineOwner);
        EXPECT_TRUE(folder.empty());
        RemoveDirectoryW(quarantine.c_str());
        RemoveDirectoryW(product.c_str());
    }

    // A file in place of the folder.
    const HANDLE file = CreateFileW(product.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(quarantineFolderIn(base, true, folder).error, DWORD{ERROR_DIRECTORY});
    DeleteFileW(product.c_str());

    // Its texts say what happened, in place of an unknown system code.
    for (const std::uint32_t code : {kRefusedQuarantineLink, kRefusedQuarantineOwner}) {
        EXPECT_FALSE(refusalText(code).empty());
    }
}

}  // namespace
}  // namespace dva
