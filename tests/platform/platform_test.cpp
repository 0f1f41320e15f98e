// What Wine does not show, pinned by the calls themselves: the messages the elevated main window
// lets through from less privileged processes, and the run-time error report holding back the scan.
// Also what no user can make happen: a window whose creation fails half-way.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>
#include <dbt.h>

#include "main_window_parts.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "error_report.h"
#include "main_window.h"
#include "message_filter.h"
#include "message_loop.h"
#include "plain_window.h"
#include "desktop_shell.h"
#include "elevation.h"
#include "single_copy.h"
#include "splash_window.h"
#include "system_function.h"
#include "win32_runtime.h"

namespace dva {
namespace {

struct FilterCall {
    HWND window;
    UINT msg;
    DWORD action;
    void* info;
};
std::vector<FilterCall> filterCalls;

// Refuses every change, as a system that does not filter messages would.
BOOL WINAPI recordFilter(HWND window, UINT msg, DWORD action, void* info) {
    filterCalls.push_back({window, msg, action, info});
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST(MessageFilter, MainWindowLetsThroughTheShellsMessagesAndASecondStartAndNothingElse) {
    EXPECT_NE(systemChangeFilter(), nullptr) << "ChangeWindowMessageFilterEx was not found in user32";

    MainWindowParts parts{{}, &recordFilter};
    filterCalls.clear();
    HWND main = parts.mainWindow.get().hwnd();
    ASSERT_NE(main, nullptr) << "refused changes kept the main window from loading";

    const UINT expected[] = {RegisterWindowMessageW(L"TaskbarCreated"), WM_APP + 1, SingleCopy::comeForwardMessage()};
    ASSERT_EQ(filterCalls.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(filterCalls[i].window, main);
        EXPECT_EQ(filterCalls[i].msg, expected[i]) << i;
        EXPECT_EQ(filterCalls[i].action, 1u) << "not MSGFLT_ALLOW";
        EXPECT_EQ(filterCalls[i].info, nullptr);
    }
    EXPECT_NE(expected[0], 0u);
    EXPECT_NE(expected[2], 0u);

    // The third one does what a second start asks: the hidden window shows itself.
    ShowWindow(main, SW_HIDE);
    SendMessageW(main, expected[2], 0, 0);
    EXPECT_TRUE(IsWindowVisible(main));

    // The icon's callback shows it for a double-click; a mouse move over it, whatever its place,
    // is only a mouse move.
    ShowWindow(main, SW_HIDE);
    SendMessageW(main, WM_MOUSEMOVE, 0, MAKELPARAM(WM_LBUTTONDBLCLK, 0));
    EXPECT_FALSE(IsWindowVisible(main)) << "a mouse move showed the window";
    SendMessageW(main, expected[1], 1, WM_MOUSEMOVE);
    EXPECT_FALSE(IsWindowVisible(main)) << "a pointer over the icon showed the window";
    SendMessageW(main, expected[1], 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(IsWindowVisible(main));
}

// A second start with fewer rights (a start from the Start menu while the sign-in task's elevated
// copy still shows its splash) must reach the splash too.
// The system's word of a stick put in or about to be taken out is answered at once, and a
// removal is never refused.
TEST(MainWindowDevices, VolumeArrivalAndRemovalAreAnsweredAtOnceAndRemovalIsAllowed) {
    MainWindowParts parts;
    HWND main = parts.mainWindow.get().hwnd();
    ASSERT_NE(main, nullptr);
    DEV_BROADCAST_VOLUME volume{sizeof volume, DBT_DEVTYP_VOLUME, 0, 1u << 4, 0};
    for (const WPARAM event : {DBT_DEVICEARRIVAL, DBT_DEVICEQUERYREMOVE}) {
        DWORD_PTR answer = 0;
        ASSERT_TRUE(SendMessageTimeoutW(main, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume), SMTO_NORMAL, 200, &answer));
        EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << event;
    }
}

TEST(MessageFilter, SplashLetsThroughASecondStartAndNothingElse) {
    MainWindowParts parts{{}, &recordFilter};
    Single<SplashWindow> splash(parts.loop,
                                [&] { return std::make_unique<SplashWindow>(parts.mainWindow, &recordFilter); });
    filterCalls.clear();
    HWND window = splash.get().hwnd();
    ASSERT_NE(window, nullptr) << "a refused change kept the splash from loading";
    ASSERT_EQ(filterCalls.size(), 1u);
    EXPECT_EQ(filterCalls[0].window, window);
    EXPECT_EQ(filterCalls[0].msg, SingleCopy::comeForwardMessage());
    EXPECT_EQ(filterCalls[0].action, 1u) << "not MSGFLT_ALLOW";
    EXPECT_EQ(filterCalls[0].info, nullptr);
    DestroyWindow(window);
}

// ---- the single-copy name ----

// Rights on the single-copy object, by the account they are given to ("BA", "SY" or a user SID).
std::map<std::wstring, ACCESS_MASK> allowedOnSingleCopyName() {
    std::map<std::wstring, ACCESS_MASK> allowed;
    HANDLE name = OpenFileMappingW(READ_CONTROL, FALSE, L"Local\\Dravonil Veriz Avize.0F3B6C2E");
    if (!name) return allowed;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(name, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                        &descriptor) == ERROR_SUCCESS &&
        dacl) {
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            void* ace = nullptr;
            if (!GetAce(dacl, i, &ace) || static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
            auto* allow = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            wchar_t* sid = nullptr;
            if (!ConvertSidToStringSidW(&allow->SidStart, &sid)) continue;
            std::wstring who = sid;
            LocalFree(sid);
            if (who == L"S-1-5-32-544") who = L"BA";
            if (who == L"S-1-5-18") who = L"SY";
            allowed[who] |= allow->Mask;
        }
    }
    LocalFree(descriptor);
    CloseHandle(name);
    return allowed;
}

// Another program of the user must not be able to rewrite the record of a running elevated copy
// (to point later starts at a fake copy): only administrators and the system may write it, the
// user may read it so that an unelevated start still finds the copy. Not elevated, the user alone
// has it.
TEST(SingleCopyName, OnlyTheCopysOwnRightsMayWriteIt) {
    const SingleCopy first;
    ASSERT_EQ(first.runningCopy(), nullptr);
    const auto allowed = allowedOnSingleCopyName();
    ASSERT_FALSE(allowed.empty()) << "the object has no list of allowed accounts";
    constexpr ACCESS_MASK kWrite = GENERIC_WRITE | GENERIC_ALL | SECTION_MAP_WRITE | WRITE_DAC | WRITE_OWNER;
    constexpr ACCESS_MASK kRead = GENERIC_READ | GENERIC_ALL | SECTION_MAP_READ;
    std::wstring user;
    for (const auto& [who, mask] : allowed)
        if (who.rfind(L"S-1-5-", 0) == 0) user = who;
    ASSERT_FALSE(user.empty()) << "the user is not on the list";
    if (runningElevated()) {
        EXPECT_EQ(allowed.size(), 3u);
        EXPECT_NE(allowed.at(L"BA") & kWrite, 0u);
        EXPECT_NE(allowed.at(L"SY") & kWrite, 0u);
        EXPECT_NE(allowed.at(user) & kRead, 0u) << "an unelevated start could not read the record";
        EXPECT_EQ(allowed.at(user) & kWrite, 0u) << "the user's other programs could rewrite the record";
    } else {
        EXPECT_EQ(allowed.size(), 1u);
        EXPECT_NE(allowed.at(user) & kWrite, 0u);
    }
}

// A process that runs this very file (this test program, started suspended) is a running copy when
// its level reads no lower than ours; one whose level cannot be read is not trusted to be ours.
TEST(SingleCopyCheck, ACopyWhoseLevelCannotBeReadIsNotOurs) {
    std::wstring line = L"\"" + thisProgramFile() + L"\" --gtest_list_tests";
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION copy{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                               &start, &copy));
    EXPECT_TRUE(runsThisProgram(copy.dwProcessId));
    // Takes the reader's own parameter type, HANDLE.
    // cppcheck-suppress constParameter
    EXPECT_FALSE(runsThisProgram(copy.dwProcessId, [](HANDLE process) -> std::optional<DWORD> {
        if (process == GetCurrentProcess()) return SECURITY_MANDATORY_MEDIUM_RID;
        return std::nullopt;
    })) << "a copy with an unreadable level counted as ours";
    TerminateProcess(copy.hProcess, 0);
    CloseHandle(copy.hThread);
    CloseHandle(copy.hProcess);
}

// ---- ending the other copies ----

// A copy of this test program started with DVA_TEST_COPY_WINDOW set does nothing but show a window
// of this class until it is gone: "closes" closes it when asked, "refuses" never does.
constexpr wchar_t kCopyClass[] = L"DvaTestCopy";
LRESULT CALLBACK refusesToClose(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    return msg == WM_CLOSE ? 0 : DefWindowProcW(h, msg, wp, lp);
}
LRESULT CALLBACK closesWhenAsked(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(h, msg, wp, lp);
}
[[maybe_unused]] const bool runsAsCopyWindow = [] {
    wchar_t mode[16] = {};
    if (!GetEnvironmentVariableW(L"DVA_TEST_COPY_WINDOW", mode, 16)) return false;
    WNDCLASSW wc{};
    wc.lpfnWndProc = std::wstring(mode) == L"refuses" ? refusesToClose : closesWhenAsked;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kCopyClass;
    RegisterClassW(&wc);
    CreateWindowExW(0, kCopyClass, L"", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr, wc.hInstance, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    ExitProcess(0);
}();

// A copy of this program showing a window of kCopyClass; its process handle once the window is up.
UniqueHandle startCopyWindow(const wchar_t* mode) {
    SetEnvironmentVariableW(L"DVA_TEST_COPY_WINDOW", mode);
    std::wstring line = L"\"" + thisProgramFile() + L"\"";
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION copy{};
    const BOOL started =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &copy);
    SetEnvironmentVariableW(L"DVA_TEST_COPY_WINDOW", nullptr);
    if (!started) return {};
    CloseHandle(copy.hThread);
    UniqueHandle process(copy.hProcess);
    for (int i = 0; i < 200; ++i, Sleep(50)) {
        for (HWND h = FindWindowExW(nullptr, nullptr, kCopyClass, nullptr); h;
             h = FindWindowExW(nullptr, h, kCopyClass, nullptr)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid == copy.dwProcessId) return process;
        }
    }
    TerminateProcess(process.get(), 1);
    return {};
}

// Both ways a copy goes: one that closes its window when asked ends by itself, one that does not
// is ended by its handle, and only once the span is over.
TEST(OtherCopies, AreAskedToCloseAndEndedOnlyIfStillThereAfterTheSpan) {
    const UniqueHandle closes = startCopyWindow(L"closes"), refuses = startCopyWindow(L"refuses");
    ASSERT_TRUE(closes && refuses) << "the copies did not show their windows";
    const ULONGLONG before = GetTickCount64();
    closeCopiesShowing(kCopyClass, 1500);
    const ULONGLONG took = GetTickCount64() - before;
    DWORD closed = 99, ended = 99;
    ASSERT_EQ(WaitForSingleObject(closes.get(), 0), WAIT_OBJECT_0) << "the copy that closes still runs";
    ASSERT_EQ(WaitForSingleObject(refuses.get(), 0), WAIT_OBJECT_0) << "the copy that refuses still runs";
    GetExitCodeProcess(closes.get(), &closed);
    GetExitCodeProcess(refuses.get(), &ended);
    EXPECT_EQ(closed, 0u) << "the copy was ended instead of asked to close";
    EXPECT_EQ(ended, 1u);
    EXPECT_GE(took, 1400u) << "the copy that refuses was ended before the span was over";
    EXPECT_LT(took, 5000u);
}

// ---- the support copy's start ----

// The copy that shows the support window gets this environment: ours, with one compatibility
// layer, RunAsInvoker, whatever layer ours had, so that Windows does not ask to raise it again.
TEST(SupportCopyStart, RunsAsItsCallerAsksWithOurEnvironmentOtherwise) {
    SetEnvironmentVariableW(L"__COMPAT_LAYER", L"RunAsAdmin");
    SetEnvironmentVariableW(L"DVA_TEST_KEPT", L"kept value");
    const std::vector<wchar_t> block = invokerEnvironment();
    ASSERT_GE(block.size(), 2u);
    EXPECT_EQ(block[block.size() - 1], L'\0');
    EXPECT_EQ(block[block.size() - 2], L'\0') << "the block does not end in two zeros";
    std::vector<std::wstring> entries;
    for (const wchar_t* entry = block.data(); *entry; entry += wcslen(entry) + 1) entries.emplace_back(entry);
    EXPECT_EQ(std::count(entries.begin(), entries.end(), L"__COMPAT_LAYER=RunAsInvoker"), 1);
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const std::wstring& e) { return _wcsnicmp(e.c_str(), L"__COMPAT_LAYER=", 15) == 0; }),
              1)
        << "another layer was kept";
    EXPECT_EQ(std::count(entries.begin(), entries.end(), L"DVA_TEST_KEPT=kept value"), 1);
}

// ---- DLLs come from the system folder only ----

// A DLL of the system is loaded from the system folder even when a file of its name lies in the
// current folder; a name that exists only there is not loaded at all.
TEST(SystemLibrary, ComesFromTheSystemFolderOnly) {
    wchar_t temp[MAX_PATH] = {}, previous[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"dva-dll-search";
    CreateDirectoryW(folder.c_str(), nullptr);
    // Any DLL will do as the planted one: a copy of a system DLL under a name only it has.
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring planted = folder + L"\\dva-planted.dll";
    ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\version.dll").c_str(), planted.c_str(), FALSE)) << GetLastError();
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(folder.c_str());
    searchSystemFolderForDlls();
    for (HMODULE loaded : {LoadLibraryW(L"dva-planted.dll"), loadSystemLibrary(L"dva-planted.dll")}) {
        EXPECT_EQ(loaded, nullptr) << "a DLL was loaded from outside the system folder";
        if (loaded) FreeLibrary(loaded);
    }
    HMODULE theme = loadSystemLibrary(L"uxtheme.dll");
    ASSERT_NE(theme, nullptr) << GetLastError();
    wchar_t loaded[MAX_PATH] = {};
    GetModuleFileNameW(theme, loaded, MAX_PATH);
    EXPECT_EQ(CompareStringOrdinal(loaded, static_cast<int>(wcslen(system)), system, -1, TRUE), CSTR_EQUAL)
        << "uxtheme.dll was not the system folder's";
    SetCurrentDirectoryW(previous);
    DeleteFileW(planted.c_str());
    RemoveDirectoryW(folder.c_str());
}

// ---- deleting a threat file ----

// The runtime's delete keeps the system's answers for the cases the scan tells apart, and refuses
// a file that has a second name: deleting or un-marking it would change the file elsewhere too.
TEST(ThreatFileRemoval, KeepsTheSystemsAnswersAndRefusesAFileWithOtherNames) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"dva-delete";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring plain = folder + L"\\plain.exe", other = folder + L"\\other-name.exe",
                       named = folder + L"\\two-names.exe";
    const auto make = [](const std::wstring& path, DWORD attrs) {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attrs, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        return h != INVALID_HANDLE_VALUE;
    };
    Win32Runtime rt;

    // Read-only: refused with 5 until the mark is cleared, then deleted.
    ASSERT_TRUE(make(plain, FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(rt.deleteFile(plain).error, 5u);
    const DWORD marks = GetFileAttributesW(plain.c_str());
    EXPECT_TRUE(rt.clearReadOnly(plain).ok());
    EXPECT_EQ(GetFileAttributesW(plain.c_str()), marks & ~DWORD{FILE_ATTRIBUTE_READONLY}) << "other marks changed";
    EXPECT_TRUE(rt.deleteFile(plain).ok());
    EXPECT_EQ(GetFileAttributesW(plain.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(rt.deleteFile(plain).error, 2u) << "gone already";
    EXPECT_EQ(rt.deleteFile(folder + L"\\no-folder\\x.exe").error, 3u);

    // Held open without delete sharing: 32, and it stays.
    ASSERT_TRUE(make(plain, 0));
    HANDLE held = CreateFileW(plain.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(rt.deleteFile(plain).error, 32u);
    CloseHandle(held);
    EXPECT_TRUE(rt.deleteFile(plain).ok());

    // Two names: both refused, the file keeps its mark and both names; one name left, it goes.
    ASSERT_TRUE(make(other, FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateHardLinkW(named.c_str(), other.c_str(), nullptr)) << GetLastError();
    EXPECT_EQ(rt.clearReadOnly(named).error, kRefusedHardLinks);
    EXPECT_EQ(rt.deleteFile(named).error, kRefusedHardLinks);
    EXPECT_NE(GetFileAttributesW(other.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_NE(GetFileAttributesW(named.c_str()), INVALID_FILE_ATTRIBUTES);
    SetFileAttributesW(other.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(DeleteFileW(other.c_str()));
    EXPECT_TRUE(rt.deleteFile(named).ok());
    EXPECT_EQ(GetFileAttributesW(named.c_str()), INVALID_FILE_ATTRIBUTES);

    // Each refusal is told in words of its own, not as an unknown system code.
    for (const std::uint32_t code : {kRefusedReparsePoint, kRefusedRedirected, kRefusedHardLinks, kRefusedNoSystemFolder}) {
        const std::wstring reason = rt.errorReason(code);
        EXPECT_FALSE(reason.empty());
        EXPECT_EQ(reason.find(L"Hata kodu"), std::wstring::npos) << code;
    }
    RemoveDirectoryW(folder.c_str());
}

// ---- the run-time error report ----

bool reportSeenOpen = false;
std::wstring reportText;

BOOL CALLBACK closeReport(HWND window, LPARAM) {
    wchar_t name[16] = {}, text[256] = {};
    GetClassNameW(window, name, 16);
    if (std::wstring(name) != L"#32770") return TRUE;
    GetDlgItemTextW(window, 0xFFFF, text, 256);
    reportText = text;
    reportSeenOpen = Win32Runtime().runtimeErrorReportOpen();
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return FALSE;
}

// A tick that comes while the report waits, as the scan timer's would.
void CALLBACK tickDuringReport(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), closeReport, 0);
}

TEST(RuntimeErrorReport, CountsAsAnOpenMessageBoxSoNoScanRunsBehindIt) {
    EXPECT_FALSE(Win32Runtime().runtimeErrorReportOpen());
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, tickDuringReport);
    showRuntimeError(5, L"Ana pencere açılamadı.");
    KillTimer(nullptr, timer);
    EXPECT_EQ(reportText, L"Çalışma zamanı hatası 5:\nAna pencere açılamadı.");
    EXPECT_TRUE(reportSeenOpen) << "a tick saw no open box while the report waited";
    EXPECT_FALSE(Win32Runtime().runtimeErrorReportOpen()) << "still counted as open once closed";
}

// ---- a window that cannot be made ----

// Refuses the creation of the second child window it sees, as a system out of resources would.
int childrenSeen = 0;
LRESULT CALLBACK refuseSecondChild(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND && (reinterpret_cast<CBT_CREATEWNDW*>(lp)->lpcs->style & WS_CHILD) &&
        ++childrenSeen == 2)
        return 1;
    return CallNextHookEx(nullptr, code, wp, lp);
}

constexpr WindowSpec kHalfBuiltSpec = plainWindow(L"dvaHalfBuilt");
constexpr ControlSpec kHalfBuiltControls[] = {
    {1, ControlKind::Button, L"first", 0, 0, 600, 300, 0},
    {2, ControlKind::Button, L"second", 0, 300, 600, 300, 1},
};

class HalfBuilt final : public Window {
public:
    Created make() { return createFrom(kHalfBuiltSpec, kHalfBuiltControls); }
};

TEST(Window, CreationThatFailsAtAControlLeavesNoWindowAndReleasesTheObject) {
    HalfBuilt w;
    int gone = 0;
    w.onGone([&] { ++gone; });
    childrenSeen = 0;
    HHOOK hook = SetWindowsHookExW(WH_CBT, refuseSecondChild, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    const Created made = w.make();
    UnhookWindowsHookEx(hook);
    EXPECT_FALSE(made.ok);
    EXPECT_EQ(childrenSeen, 2) << "the second control was never asked for";
    EXPECT_EQ(FindWindowW(kHalfBuiltSpec.className, nullptr), nullptr) << "the window stayed, half-built";
    EXPECT_EQ(w.hwnd(), nullptr);
    EXPECT_EQ(gone, 1) << "the owner was not told the window is gone";
}

}  // namespace
}  // namespace dva
