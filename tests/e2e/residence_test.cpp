// Living in the notification area: closing the main window hides it behind the icon, the icon
// brings it back, and only the exit command or the end of the session ends the program.
#include "driver.h"  // first: it brings <windows.h>, which <shellapi.h> needs

#include <shellapi.h>

#include "control_ids.h"

namespace dva::e2e {
namespace {

// How long an event that must not bring the window back is watched.
constexpr Ms kNothingFor{1500};

class Residence : public ProgramTest {
protected:
    void SetUp() override {
        // The icon is looked for in the notification area that Wine draws under X.
        if (!underWine()) GTEST_SKIP() << "needs Wine's notification area";
        ProgramTest::SetUp();
    }

    bool mainVisible() {
        HWND main = program().form1();
        return main && IsWindowVisible(main);
    }

    // Sends the close request of the title bar's close box and waits until the window is hidden.
    void closeMainWindow(UINT how = WM_SYSCOMMAND) {
        Program& p = program();
        HWND main = p.form1();
        ASSERT_NE(main, nullptr) << "the main window is gone\n" << p.describe();
        if (how == WM_SYSCOMMAND) {
            PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else {
            PostMessageW(main, how, 0, 0);
        }
        ASSERT_TRUE(waitFor([&] { return !mainVisible(); }, kReactWithin))
            << "the main window did not hide on a close request\n" << p.describe();
        EXPECT_TRUE(p.alive()) << "closing the main window ended the program";
        EXPECT_EQ(p.form1(), main) << "the main window was destroyed instead of hidden";
    }

    // The one icon of the program; fails the test when there is not exactly one.
    HWND icon() {
        const auto icons = program().trayIcons();
        EXPECT_EQ(icons.size(), 1u) << program().describe();
        return icons.size() == 1 ? icons.front().window : nullptr;
    }

    void expectShownBy(std::initializer_list<UINT> messages, const char* what) {
        HWND h = icon();
        ASSERT_NE(h, nullptr);
        postMouse(h, messages);
        EXPECT_TRUE(waitFor([&] { return mainVisible(); }, kReactWithin))
            << what << " on the icon did not show the main window\n" << program().describe();
    }

    void expectStaysHiddenAfter(std::initializer_list<UINT> messages, const char* what) {
        HWND h = icon();
        ASSERT_NE(h, nullptr);
        postMouse(h, messages);
        EXPECT_FALSE(waitFor([&] { return mainVisible(); }, kNothingFor)) << what << " on the icon showed the main window";
    }
};

TEST_F(Residence, ClosingHidesTheWindowWhileTheIconAndTheScanCarryOn) {
    Program& p = program();
    ASSERT_TRUE(p.waitForTrayIcons(1));
    EXPECT_TEXT(p.trayIcons().front().tip, L"Dravonil Veriz Avize");
    EXPECT_TRUE(IsWindowVisible(p.trayIcons().front().window));

    // The user has moved the window away from the centre: it comes back where it was left.
    HWND main = p.form1();
    SetWindowPos(main, nullptr, 37, 29, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT before{};
    ASSERT_TRUE(waitFor([&] { return GetWindowRect(main, &before) && before.left == 37 && before.top == 29; }, kReactWithin))
        << "the window could not be moved for the test";

    ASSERT_NO_FATAL_FAILURE(closeMainWindow());
    EXPECT_TRUE(p.waitForTrayIcons(1));

    // Hidden, the program still scans: a threat file raises the alert, and the window stays hidden.
    placeFile(L"C:\\RavMon.exe");
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({L"C:\\RavMon.exe"}));
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\RavMon.exe"); }, kReactWithin));
    EXPECT_FALSE(mainVisible()) << "the alert brought the hidden main window back";

    // A double-click of the left button, as the pointer makes it, shows the window at its place.
    ASSERT_NO_FATAL_FAILURE(expectShownBy({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP},
                                          "a left double-click"));
    RECT after{};
    GetWindowRect(main, &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom);
    EXPECT_FALSE(IsIconic(main));
    EXPECT_TRUE(p.waitForTrayIcons(1));
}

TEST_F(Residence, OnlyADoubleClickOrARightPressOnTheIconBringsTheWindowBack) {
    Program& p = program();
    ASSERT_TRUE(p.waitForTrayIcons(1));
    ASSERT_NO_FATAL_FAILURE(closeMainWindow(WM_CLOSE));

    expectStaysHiddenAfter({WM_MOUSEMOVE, WM_MOUSEMOVE}, "the pointer moving");
    expectStaysHiddenAfter({WM_LBUTTONDOWN, WM_LBUTTONUP}, "a single left click");
    expectStaysHiddenAfter({WM_RBUTTONUP, WM_MBUTTONDOWN, WM_MBUTTONUP}, "a right release and a middle click");
    EXPECT_TRUE(p.alive());

    // A right press shows the window at once; its release changes nothing more.
    ASSERT_NO_FATAL_FAILURE(expectShownBy({WM_RBUTTONDOWN}, "a right button press"));
    postMouse(icon(), {WM_RBUTTONUP});
    EXPECT_TRUE(p.expectNoMessageBoxFor(Ms{500}));
    EXPECT_TRUE(mainVisible());

    // Both ways work again after the next close.
    ASSERT_NO_FATAL_FAILURE(closeMainWindow());
    ASSERT_NO_FATAL_FAILURE(expectShownBy({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP},
                                          "a left double-click"));
    ASSERT_NO_FATAL_FAILURE(closeMainWindow());
    ASSERT_NO_FATAL_FAILURE(expectShownBy({WM_RBUTTONDOWN, WM_RBUTTONUP}, "a right click"));
    // Closed three times: still one icon.
    EXPECT_TRUE(p.waitForTrayIcons(1));
    EXPECT_EQ(p.form2(), nullptr);
}

TEST_F(Residence, TheIconIsPutBackWhenTheShellLostIt) {
    Program& p = program();
    ASSERT_TRUE(p.waitForTrayIcons(1));
    HWND main = p.form1();

    // The shell restarting announces itself with "TaskbarCreated"; a repeated one adds nothing.
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    ASSERT_NE(taskbarCreated, 0u);
    PostMessageW(main, taskbarCreated, 0, 0);
    PostMessageW(main, taskbarCreated, 0, 0);
    EXPECT_TRUE(p.expectNoMessageBoxFor(Ms{800}));
    EXPECT_TRUE(p.waitForTrayIcons(1));

    // The icon removed behind the program's back, as a restarting shell does, comes back.
    NOTIFYICONDATAW record{};
    record.cbSize = sizeof record;
    record.hWnd = main;
    record.uID = 1;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &record)) << "the test could not remove the program's icon";
    ASSERT_TRUE(p.waitForTrayIcons(0));
    PostMessageW(main, taskbarCreated, 0, 0);
    EXPECT_TRUE(p.waitForTrayIcons(1)) << "\"TaskbarCreated\" did not put the icon back";
    EXPECT_TEXT(p.trayIcons().empty() ? L"" : p.trayIcons().front().tip, L"Dravonil Veriz Avize");
    EXPECT_TRUE(IsWindowVisible(main));

    // Closing the window also puts a lost icon back, so the hidden window can still be reached.
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &record));
    ASSERT_TRUE(p.waitForTrayIcons(0));
    ASSERT_NO_FATAL_FAILURE(closeMainWindow());
    ASSERT_TRUE(p.waitForTrayIcons(1)) << "closing the window did not put the lost icon back";
    ASSERT_NO_FATAL_FAILURE(expectShownBy({WM_RBUTTONDOWN}, "a right button press"));
}

TEST_F(Residence, ExitCommandLeavesNoIcon) {
    Program& p = program();
    ASSERT_TRUE(p.waitForTrayIcons(1));
    // From the hidden state too: first close, then bring it back to reach the button.
    ASSERT_NO_FATAL_FAILURE(closeMainWindow());
    ASSERT_NO_FATAL_FAILURE(expectShownBy({WM_RBUTTONDOWN}, "a right button press"));
    const auto code = p.exitByCommand();
    ASSERT_TRUE(code.has_value()) << "the process is still running after \"Çıkış\"\n" << p.describe();
    EXPECT_EQ(*code, 0u);
    EXPECT_TRUE(p.waitForTrayIcons(0)) << "an icon of the ended program is left in the notification area";
}

TEST_F(Residence, EndOfTheSessionIsNotRefusedAndEndsTheProgram) {
    Program& p = program();
    ASSERT_TRUE(p.waitForTrayIcons(1));
    ASSERT_NO_FATAL_FAILURE(closeMainWindow());
    HWND main = p.form1();

    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 3000, &answer))
        << "the main window did not answer the end of the session";
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << "the end of the session was refused";
    // Asking changes nothing: the session may still go on.
    EXPECT_TRUE(p.alive());
    EXPECT_FALSE(IsWindowVisible(main));

    // An end of the session that was called off leaves the program running.
    SendMessageTimeoutW(main, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 3000, &answer);
    EXPECT_FALSE(p.waitForExit(Ms{800}).has_value()) << "a cancelled end of the session ended the program";
    EXPECT_TRUE(p.waitForTrayIcons(1));

    // The session ends: so does the program, and its icon with it. The window may go before it answers.
    SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 3000, &answer);
    EXPECT_TRUE(p.waitForExit(Ms{5000}).has_value()) << "the program still runs after the session ended\n"
                                                     << p.describe();
    EXPECT_EQ(p.mostBoxesAtOnce(), 0) << "a message box opened at the end of the session";
    EXPECT_TRUE(p.waitForTrayIcons(0));
}

}  // namespace
}  // namespace dva::e2e
