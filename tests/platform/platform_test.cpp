// What Wine does not show, pinned by the calls themselves: the messages the elevated main window
// lets through from less privileged processes, and the run-time error report holding back the scan.
// Also what no user can make happen: a window whose creation fails half-way.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "error_report.h"
#include "main_window.h"
#include "message_filter.h"
#include "message_loop.h"
#include "plain_window.h"
#include "single_copy.h"
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

struct NoDetections : DetectionSink {
    void append(std::wstring_view) override {}
};

TEST(MessageFilter, MainWindowLetsThroughTheShellsMessagesAndASecondStartAndNothingElse) {
    EXPECT_NE(systemChangeFilter(), nullptr) << "ChangeWindowMessageFilterEx was not found in user32";

    MessageLoop loop;
    Win32Runtime rt;
    NoDetections sink;
    ThreatScan scan(rt, sink);
    AutoRunProtection autorun(rt, sink);
    Single<DetectionsWindow> detectionsWindow(loop, [] { return std::make_unique<DetectionsWindow>(); });
    Single<MainWindow> mainWindow(loop, [&] {
        return std::make_unique<MainWindow>(rt, scan, autorun, detectionsWindow, MainWindowLinks{}, &recordFilter);
    });
    filterCalls.clear();
    HWND main = mainWindow.get().hwnd();
    ASSERT_NE(main, nullptr) << "refused changes kept the main window from loading";

    const UINT expected[] = {RegisterWindowMessageW(L"TaskbarCreated"), WM_MOUSEMOVE,
                             SingleCopy::comeForwardMessage()};
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
    Created make() { return create(kHalfBuiltSpec, kHalfBuiltControls); }
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
