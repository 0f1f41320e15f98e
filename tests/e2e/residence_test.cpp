// Living in the notification area: closing the main window hides it behind the icon, the icon
// brings it back, and only "Çıkış" or the end of the session ends the program.
#include "driver.h"  // first: <shellapi.h> needs <windows.h>

#include <shellapi.h>

#include "control_ids.h"
#include "window_classes.h"

namespace dva::e2e {
namespace {

class Residence : public ProgramTest {
protected:
    void SetUp() override {
        if (!underWine()) GTEST_SKIP() << "looks for the icon in Wine's own notification area";
        ProgramTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(program().waitForTrayIcons(1));
    }

    // A close request to the main window hides it, and nothing else.
    void closeMainWindow(UINT msg, WPARAM wp = 0) {
        Program& p = program();
        HWND main = p.mainWindow();
        PostMessageW(main, msg, wp, 0);
        ASSERT_TRUE(waitFor([&] { return !p.mainVisible(); }, kReactWithin)) << "not hidden\n" << p.describe();
        EXPECT_TRUE(p.alive()) << "closing the main window ended the program";
        EXPECT_EQ(p.mainWindow(), main) << "the main window was destroyed instead of hidden";
        EXPECT_TRUE(p.waitForTrayIcons(1));
    }

    // Posts mouse messages to the one icon; returns whether the main window shows within the span.
    bool iconShowsWindow(std::initializer_list<UINT> messages, Ms span = kReactWithin) {
        postMouse(program().trayIcons().at(0).window, messages);
        return waitFor([&] { return program().mainVisible(); }, span);
    }
};

TEST_F(Residence, CloseHidesTheWindowUntilADoubleClickOrARightPressOnTheIcon) {
    Program& p = program();
    EXPECT_TEXT(p.trayIcons().front().tip, L"Dravonil Veriz Avize");
    // Moved away from the centre, it comes back where it was left.
    HWND main = p.mainWindow();
    SetWindowPos(main, nullptr, 37, 29, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT before{}, after{};
    ASSERT_TRUE(waitFor([&] { return GetWindowRect(main, &before) && before.left == 37 && before.top == 29; },
                        kReactWithin));
    ASSERT_NO_FATAL_FAILURE(closeMainWindow(WM_SYSCOMMAND, SC_CLOSE));

    // Hidden, the program still scans, and an alert does not bring the window back.
    placeFile(L"C:\\RavMon.exe");
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({L"C:\\RavMon.exe"}));
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\RavMon.exe"); }, kReactWithin));
    EXPECT_FALSE(p.mainVisible()) << "the alert showed the hidden window";

    EXPECT_FALSE(iconShowsWindow({WM_MOUSEMOVE, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP}, kNothingFor))
        << "a pointer move or a single click showed the window";
    EXPECT_TRUE(iconShowsWindow({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}))
        << "a double-click did not show the window\n" << p.describe();
    GetWindowRect(main, &after);
    EXPECT_TRUE(EqualRect(&before, &after)) << "shown at " << after.left << "," << after.top;
    EXPECT_FALSE(IsIconic(main));

    ASSERT_NO_FATAL_FAILURE(closeMainWindow(WM_CLOSE));
    EXPECT_TRUE(iconShowsWindow({WM_RBUTTONDOWN})) << "a right press did not show the window";
    ASSERT_NO_FATAL_FAILURE(closeMainWindow(WM_SYSCOMMAND, SC_CLOSE));  // the third close: still one icon
    EXPECT_TRUE(iconShowsWindow({WM_RBUTTONDOWN, WM_RBUTTONUP}));

    // A restarted shell announces itself with "TaskbarCreated": the lost icon comes back, once.
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    NOTIFYICONDATAW record{};
    record.cbSize = sizeof record;
    record.hWnd = main;
    record.uID = 1;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &record)) << "the test could not remove the program's icon";
    ASSERT_TRUE(p.waitForTrayIcons(0));
    PostMessageW(main, taskbarCreated, 0, 0);
    PostMessageW(main, taskbarCreated, 0, 0);
    ASSERT_TRUE(p.waitForTrayIcons(1)) << "\"TaskbarCreated\" did not put the icon back";
    EXPECT_TRUE(p.expectNoMessageBoxFor(Ms{800}));
    EXPECT_EQ(p.trayIcons().size(), 1u);
    EXPECT_TEXT(p.trayIcons().front().tip, L"Dravonil Veriz Avize");
}

// A window of a stranger with the main window's class name, counting the registered messages it
// gets (those a second start could send).
class Decoy {
public:
    Decoy() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = [](HWND h, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
            if (msg >= 0xC000) ++*reinterpret_cast<int*>(GetWindowLongPtrW(h, GWLP_USERDATA));
            return DefWindowProcW(h, msg, wp, lp);
        };
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = window_class::kMain;
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, window_class::kMain, L"Dravonil Veriz Avize", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                  wc.hInstance, nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&heard_));
    }
    ~Decoy() { DestroyWindow(window_); }
    int heard() {
        MSG msg;
        while (PeekMessageW(&msg, window_, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        return heard_;
    }

private:
    HWND window_ = nullptr;
    int heard_ = 0;
};

TEST_F(Residence, SecondStartBringsBackTheRunningCopyAndEndsWithoutAWindow) {
    Program& p = program();
    ASSERT_NO_FATAL_FAILURE(closeMainWindow(WM_SYSCOMMAND, SC_CLOSE));
    Decoy decoy;
    const OtherStart second = startAgain(Ms{5000});
    EXPECT_EQ(second.exitCode, std::optional<DWORD>(0)) << "the second start did not end by itself";
    EXPECT_TRUE(second.windowsShown.empty()) << "the second start showed " << utf8(second.windowsShown.front());
    EXPECT_TRUE(waitFor([&] { return p.mainVisible(); }, kReactWithin)) << "the running copy did not come back\n"
                                                                        << p.describe();
    EXPECT_EQ(decoy.heard(), 0) << "a stranger's window of the same class was asked";
    EXPECT_EQ(Program::allTrayIcons(), 1u);

    // One file, one alert, also while the alert stays open over a few ticks.
    placeFile(L"C:\\RavMon.exe");
    const auto alert = p.waitForAlert();
    ASSERT_TRUE(alert.has_value());
    EXPECT_FALSE(waitFor([] { return Program::allMessageBoxes() > 1; }, 3000ms)) << p.describe();
    p.close(*alert);
    EXPECT_TRUE(p.waitForLines({L"C:\\RavMon.exe"}));

    // A crash frees the name at once: the next start runs, and holds it for the one after.
    p.crash();
    Program next(StartOn::Splash);
    ASSERT_FALSE(HasFailure()) << "the program did not start after the running copy crashed";
    const OtherStart third = startAgain(Ms{5000});
    EXPECT_EQ(third.exitCode, std::optional<DWORD>(0)) << "the name was not taken again after the crash";
    EXPECT_TRUE(IsWindowVisible(next.splash()));
    EXPECT_EQ(next.mainWindow(), nullptr) << "a start before the hand-over loaded the main window";
}

TEST_F(Residence, ExitCommandEndsTheProgramWithOtherWindowsOpenAndLeavesNoIcon) {
    Program& p = program();
    p.clickMain(ids::main::detections);
    ASSERT_NE(p.waitShown(window_class::kDetections), nullptr);
    ASSERT_NO_FATAL_FAILURE(closeMainWindow(WM_SYSCOMMAND, SC_CLOSE));
    ASSERT_TRUE(iconShowsWindow({WM_RBUTTONDOWN}));
    p.clickMain(ids::main::exit);
    EXPECT_EQ(p.waitForExit(Ms{10000}), std::optional<DWORD>(0)) << "\"Çıkış\" did not end it\n" << p.describe();
    EXPECT_TRUE(p.waitForTrayIcons(0)) << "an icon of the ended program is left";
}

TEST_F(Residence, EndOfTheSessionIsNotRefusedAndEndsTheProgram) {
    Program& p = program();
    ASSERT_NO_FATAL_FAILURE(closeMainWindow(WM_SYSCOMMAND, SC_CLOSE));
    HWND main = p.mainWindow();
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 3000, &answer));
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << "the end of the session was refused";
    EXPECT_TRUE(p.alive()) << "asking ended the program";
    // Called off, the end of the session changes nothing; carried out, it ends the program.
    SendMessageTimeoutW(main, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 3000, &answer);
    EXPECT_FALSE(p.waitForExit(Ms{800}).has_value()) << "a cancelled end of the session ended the program";
    SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 3000, &answer);
    EXPECT_TRUE(p.waitForExit(Ms{5000}).has_value()) << "still running after the session ended\n" << p.describe();
    EXPECT_TRUE(p.waitForTrayIcons(0));
}

}  // namespace
}  // namespace dva::e2e
