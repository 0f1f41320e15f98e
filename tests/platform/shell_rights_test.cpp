// What keeps the program's raised rights to itself, pinned by the calls themselves (Wine enforces
// neither integrity levels nor access lists): how COM talks to the desktop shell, a program
// started with the user's rights that would run raised after all, the protection folder's own
// access list, and a link the file system reports as one.
#include <windows.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "about_window.h"
#include "com.h"
#include "control_ids.h"
#include "desktop_shell.h"
#include "exact_file.h"
#include "handles.h"
#include "product_config.h"
#include "refusals.h"
#include "single_copy.h"
#include "support_door.h"
#include "system_folder.h"
#include "win32_notices.h"
#include "window_classes.h"

namespace dva {
namespace {

std::wstring tempPath(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + name;
}

// ---- COM security ----

struct SecurityCall {
    PSECURITY_DESCRIPTOR descriptor;
    LONG services;
    DWORD authentication, impersonation, capabilities;
    bool restNull;
};
std::vector<std::wstring> oleCalls;
std::vector<SecurityCall> securityCalls;

HRESULT WINAPI fakeInitialize(LPVOID) {
    oleCalls.push_back(L"initialize");
    return S_OK;
}
void WINAPI fakeUninitialize() { oleCalls.push_back(L"uninitialize"); }
// Takes CoInitializeSecurity's own parameter types, so its pointers stay pointers to non-const.
HRESULT WINAPI fakeInitializeSecurity(PSECURITY_DESCRIPTOR descriptor, LONG services,
                                      // cppcheck-suppress constParameter
                                      SOLE_AUTHENTICATION_SERVICE* list,
                                      // cppcheck-suppress constParameter
                                      void* reserved1, DWORD authentication, DWORD impersonation,
                                      // cppcheck-suppress constParameter
                                      void* authList, DWORD capabilities,
                                      // cppcheck-suppress constParameter
                                      void* reserved3) {
    oleCalls.push_back(L"security");
    securityCalls.push_back({descriptor, services, authentication, impersonation, capabilities,
                             !list && !reserved1 && !authList && !reserved3});
    return S_OK;
}
HRESULT WINAPI fakeCreateInstance(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*) {
    oleCalls.push_back(L"create");
    return E_FAIL;
}

// Before the first object is asked for, once: no custom unpacking of what the desktop shell
// hands over, no dynamic cloaking, the other side may identify this process but not act as it.
TEST(ComSecurity, IsSetOnceRightAfterOleComesUpWithoutCustomUnpackingOrCloaking) {
    OleApi api = oleApi();
    ASSERT_NE(api.initializeSecurity, nullptr) << "CoInitializeSecurity was not found in ole32";
    api.initialize = fakeInitialize;
    api.uninitialize = fakeUninitialize;
    api.initializeSecurity = fakeInitializeSecurity;
    api.createInstance = fakeCreateInstance;
    oleCalls.clear();
    securityCalls.clear();
    {
        OleSession ole(&api);
        EXPECT_TRUE(oleCalls.empty()) << "OLE came up before a window needed it";
        ole.ensure();
        ole.ensure();
    }
    EXPECT_EQ(oleCalls, (std::vector<std::wstring>{L"initialize", L"security", L"uninitialize"}));
    ASSERT_EQ(securityCalls.size(), 1u);
    const SecurityCall& call = securityCalls[0];
    EXPECT_EQ(call.descriptor, nullptr);
    EXPECT_EQ(call.services, -1);
    EXPECT_EQ(call.authentication, DWORD{RPC_C_AUTHN_LEVEL_DEFAULT});
    EXPECT_EQ(call.impersonation, DWORD{RPC_C_IMP_LEVEL_IDENTIFY}) << "the other side could act as this process";
    EXPECT_EQ(call.capabilities, DWORD{EOAC_NO_CUSTOM_MARSHAL}) << "custom unpacking allowed or cloaking on";
    EXPECT_TRUE(call.restNull);
}

// ---- a start with the user's rights ----

// The answers the check gives, the desktop shell's first, then the new process's.
std::vector<std::optional<bool>> elevationAnswers;
size_t elevationAsked = 0;
UniqueHandle seenProcess;  // the last process the check was asked about

std::optional<bool> fakeElevation(HANDLE process) {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                    FALSE, 0);
    seenProcess.reset(copy);
    return elevationAsked < elevationAnswers.size() ? elevationAnswers[elevationAsked++] : std::nullopt;
}

// The exit code of the last process the check was asked about, once it has ended.
std::optional<DWORD> exitOfSeenProcess() {
    DWORD code = 0;
    if (!seenProcess || WaitForSingleObject(seenProcess.get(), 10000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(seenProcess.get(), &code))
        return std::nullopt;
    return code;
}

// A program the desktop shell starts runs only when its token says it is not raised, or when the
// shell itself runs raised (then the user's own rights are raised ones); raised beside an
// unraised shell, or with a token that cannot be read, it is ended before its first instruction
// and the caller gets the code whose text the user is shown.
TEST(DesktopShellStart, RunsTheProgramOnlyWithTheShellsRightsNotRaisedOnes) {
    OleSession ole;
    ole.ensure();
    const std::wstring cmd = systemProgramFolder() + L"\\cmd.exe";
    const auto start = [&](std::optional<bool> shell, std::optional<bool> started) {
        elevationAnswers = {shell, started};
        elevationAsked = 0;
        return startWithDesktopShellRights(cmd, L"/c exit 7", fakeElevation);
    };
    const HRESULT ran = start(false, false);
    if (ran == static_cast<HRESULT>(kRefusedNoDesktopShell)) GTEST_SKIP() << "no desktop shell in this prefix";
    ASSERT_EQ(ran, S_OK);
    EXPECT_EQ(exitOfSeenProcess(), 7u) << "the unraised program did not run";
    EXPECT_EQ(start(true, true), S_OK);
    EXPECT_EQ(exitOfSeenProcess(), 7u) << "the program of a raised shell did not run";

    for (const std::optional<bool> raised : {std::optional<bool>(true), std::optional<bool>()}) {
        EXPECT_EQ(start(false, raised), static_cast<HRESULT>(kRefusedRaisedStart));
        EXPECT_EQ(elevationAsked, 2u);
        EXPECT_EQ(exitOfSeenProcess(), DWORD{kEndedAsRaised}) << "the raised program ran";
    }
    seenProcess.reset();
}

// ---- no desktop shell ----

struct Box {
    std::wstring text, title;
    MessageIcon icon;
    bool operator==(const Box&) const = default;
};

// Records the boxes instead of showing them; the reasons are the system's.
struct RecordedNotices : Notices {
    std::vector<Box> boxes;
    void message(std::wstring_view text, std::wstring_view title, MessageIcon icon) override {
        boxes.push_back({std::wstring(text), std::wstring(title), icon});
    }
    bool runtimeErrorReportOpen() const override { return false; }
    std::wstring errorReason(std::uint32_t code) override { return Win32Notices().errorReason(code); }
};

HWND noDesktopShell() { return nullptr; }

// The processes that run now, by id.
std::vector<DWORD> runningProcesses() {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        ids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

// Raised, with no desktop shell to start them with the user's rights: neither the about window's
// link nor the agreement starts anything with ours; each says why in one box.
TEST(NoDesktopShell, TheAboutLinkAndTheAgreementStartNothingAndSayWhy) {
    if (!runningElevated()) GTEST_SKIP() << "not raised: the program starts the browser itself";
    OleSession ole;
    ole.ensure();
    MessageLoop loop;
    RecordedNotices notices;
    DesktopWebPages pages(noDesktopShell);
    Single<AboutWindow> about(loop, [&] { return std::make_unique<AboutWindow>(notices, pages); });
    Single<SupportWindow> support(loop, [&] { return std::make_unique<SupportWindow>(notices); });
    HWND window = about.get().hwnd();
    ASSERT_NE(window, nullptr);
    const std::vector<DWORD> before = runningProcesses();

    SendMessageW(window, WM_COMMAND, MAKEWPARAM(ids::about::link, STN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, ids::about::link)));
    openSupport(notices, support, noDesktopShell);

    const std::wstring why(refusalText(kRefusedNoDesktopShell));
    const std::vector<Box> expected{
        {std::wstring(L"Web sayfası açılamadı: " DVA_HOME_PAGE L"\n") + why, L"Hata", MessageIcon::Error},
        {L"Online destek penceresi açılamadı.\n" + why + L" (0xA0000006)", L"Hata", MessageIcon::Error}};
    EXPECT_EQ(notices.boxes, expected);
    for (const DWORD id : runningProcesses())
        EXPECT_NE(std::find(before.begin(), before.end(), id), before.end()) << "a program was started: " << id;
    EXPECT_EQ(windowOfThisProgram(window_class::kSupport), nullptr) << "a support window opened";
}

// ---- the protection folder ----

// The descriptor each folder is made with, as text (Wine keeps none of it).
std::vector<std::wstring> folderDescriptors;

BOOL WINAPI recordFolderCreation(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes) {
    wchar_t* text = nullptr;
    if (!attributes || !attributes->lpSecurityDescriptor ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(
            attributes->lpSecurityDescriptor, SDDL_REVISION_1,
            OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION,
            &text, nullptr)) {
        folderDescriptors.push_back(L"none");
    } else {
        folderDescriptors.push_back(text);
        LocalFree(text);
    }
    return CreateDirectoryW(path, attributes);
}

// Made with a list of its own, nothing inherited from the drive's root (whose list lets users
// change what they made there): the system and administrators may do anything, users may only
// look into it, not delete, rename, replace or re-permission it. Its owner is left to the system
// (administrators, for a raised program).
TEST(ProtectionFolder, IsMadeWithAListOfItsOwnThatUsersMayOnlyRead) {
    const std::wstring folder = tempPath(L"dva-AutoRun.inf");
    RemoveDirectoryW(folder.c_str());
    folderDescriptors.clear();
    ASSERT_TRUE(makeFolderAt(folder, recordFolderCreation).ok());
    EXPECT_EQ(folderDescriptors, std::vector<std::wstring>{L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"});
    EXPECT_NE(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(makeFolderAt(folder).error, DWORD{ERROR_ALREADY_EXISTS});
    RemoveDirectoryW(folder.c_str());
}

// ---- a link the file system reports ----

// What the system says of the opened file, with the file system's mark of a link (a junction or a
// symbolic link) added: Wine makes neither.
BOOL WINAPI describedAsLink(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
    if (!GetFileInformationByHandle(file, info)) return FALSE;
    info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return TRUE;
}

// A file the file system calls a link is neither deleted nor changed, even though its path leads
// to itself: the path alone would not show it.
TEST(ThreatFileRemoval, RefusesWhatTheFileSystemReportsAsALink) {
    const std::wstring file = tempPath(L"dva-link.exe");
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_READONLY, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(clearReadOnlyExactly(file, describedAsLink).error, kRefusedReparsePoint);
    EXPECT_EQ(deleteExactly(file, describedAsLink).error, kRefusedReparsePoint);
    EXPECT_NE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << "its mark was cleared";
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(deleteExactly(file).ok()) << "the same file, not a link, stayed";
}

}  // namespace
}  // namespace dva
