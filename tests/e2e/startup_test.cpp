// Start-up: the splash window the program opens on, and its one hand-over to the main window.
#include "control_ids.h"
#include "driver.h"
#include "window_classes.h"

namespace dva::e2e {
namespace {

class Splash : public ProgramTest {
protected:
    StartOn startOn() const override { return StartOn::Splash; }

    // The input handed over: the splash is gone for good, one main window is visible, one icon.
    void expectHandedOver(const char* how) {
        Program& p = program();
        ASSERT_TRUE(waitFor([&] { return p.mainVisible() && !p.splash(); }, kReactWithin))
            << how << " did not hand over to the main window\n" << p.describe();
        if (underWine()) {
            EXPECT_TRUE(p.waitForTrayIcons(1)) << how;
        }
        EXPECT_TRUE(p.expectNoMessageBoxFor(Ms{500})) << how;
        EXPECT_EQ(p.windows(window_class::kMain, false).size(), 1u) << how;
        if (underWine()) {
            EXPECT_EQ(p.trayIcons().size(), 1u) << how;
        }
        EXPECT_EQ(p.splash(), nullptr) << how;
        EXPECT_TRUE(p.alive());
    }
};

TEST_F(Splash, OpensCentredWithoutTitleBarAndHandsOverOnlyOnABackgroundClick) {
    Program& p = program();
    HWND splash = p.splash();
    ASSERT_NE(splash, nullptr);
    EXPECT_TEXT(p.text(splash), L"");
    const LONG style = GetWindowLongW(splash, GWL_STYLE);
    EXPECT_NE(style & WS_CAPTION, WS_CAPTION) << "a title bar: style 0x" << std::hex << style;
    RECT window{}, client{};
    GetWindowRect(splash, &window);
    GetClientRect(splash, &client);
    EXPECT_TRUE(clientIs(splash, 481, 200));
    EXPECT_NEAR(window.left, (GetSystemMetrics(SM_CXSCREEN) - (window.right - window.left)) / 2, 1) << "not centred";
    EXPECT_NEAR(window.top, (GetSystemMetrics(SM_CYSCREEN) - (window.bottom - window.top)) / 2, 1) << "not centred";
    HWND name = GetDlgItem(splash, ids::splash::name), invite = GetDlgItem(splash, ids::splash::prompt);
    ASSERT_TRUE(name && invite && GetDlgItem(splash, ids::splash::banner)) << p.describe();
    EXPECT_TEXT(p.text(name), L"Dravonil Veriz Avize 0.1");
    EXPECT_TEXT(p.text(invite), L"Tıkla ve devam et...");
    for (HWND label : {name, invite})  // one line each, cut at the designed size rather than wrapped
        EXPECT_EQ(GetWindowLongW(label, GWL_STYLE) & SS_TYPEMASK, SS_LEFTNOWORDWRAP) << utf8(p.text(label));

    // Clicks on the labels and keys that type no character do nothing.
    clickWithMouse(name);
    postLeftClick(invite, 2, 2);
    PostMessageW(splash, WM_KEYDOWN, VK_LEFT, 1 | (0x4B << 16) | (1 << 24));
    PostMessageW(splash, WM_KEYUP, VK_LEFT, 1 | (0x4B << 16) | (1 << 24) | (1u << 30) | (1u << 31));
    EXPECT_FALSE(waitFor([&] { return p.mainWindow() != nullptr; }, kNothingFor))
        << "a label click or an arrow key loaded the main window";
    if (underWine()) {
        EXPECT_TRUE(p.trayIcons().empty()) << "an icon before the main window";
    }
    EXPECT_TRUE(IsWindowVisible(splash));

    // Two clicks on the background, away from the controls: one hand-over.
    const POINT at{client.right - 8, client.bottom - 8};
    ASSERT_EQ(ChildWindowFromPointEx(splash, at, CWP_ALL), splash) << "the point lies on a control";
    postLeftClick(splash, at.x, at.y);
    postLeftClick(splash, at.x, at.y);
    expectHandedOver("a click on the background");
}

TEST_F(Splash, ClosedBeforeTheHandOverEndsTheProgram) {
    Program& p = program();
    PostMessageW(p.splash(), WM_CLOSE, 0, 0);
    bool seen = false;  // the main window or a message box on the way out
    const auto ended = [&] {
        seen = seen || p.mainWindow() || !p.messageBoxes().empty();
        return !p.alive();
    };
    EXPECT_TRUE(waitFor(ended, Ms{10000})) << "still running after its splash window was closed\n" << p.describe();
    EXPECT_FALSE(seen) << "the main window or a message box showed on the way out";
}

// Each way hands over once; each input is given twice.
class SplashHandOver : public Splash, public ::testing::WithParamInterface<std::string> {};

TEST_P(SplashHandOver, ShowsTheMainWindowOnce) {
    HWND splash = program().splash();
    ASSERT_NE(splash, nullptr);
    const std::string way = GetParam();
    if (way == "BannerClick") {
        clickWithMouse(GetDlgItem(splash, ids::splash::banner));  // once: a second would hit the main window
    } else if (way == "TypedSeven") {
        // Real key presses through the system's input queue, to the window with the focus.
        // Under Wine the focus reaches another process's window asynchronously (through X); keys
        // sent before it arrives go nowhere, so wait until the splash is in front.
        SetForegroundWindow(splash);
        ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == splash; }, Ms{5000}))
            << "the splash did not come to the front\n" << program().describe();
        INPUT input[4] = {};
        for (int i = 0; i < 4; ++i) {
            input[i].type = INPUT_KEYBOARD;
            input[i].ki.wVk = '7';
            input[i].ki.dwFlags = i % 2 ? KEYEVENTF_KEYUP : 0;
        }
        ASSERT_EQ(SendInput(4, input, sizeof(INPUT)), 4u) << "SendInput failed (error " << GetLastError() << ")";
    } else if (way == "EnterKey") {
        // The key as the keyboard reports it: the program's message loop makes the character.
        for (int i = 0; i < 2; ++i) {
            PostMessageW(splash, WM_KEYDOWN, VK_RETURN, 1 | (0x1C << 16));
            PostMessageW(splash, WM_KEYUP, VK_RETURN, 1 | (0x1C << 16) | (1u << 30) | (1u << 31));
        }
    } else {
        PostMessageW(splash, WM_CHAR, L'\x1b', 1);
        PostMessageW(splash, WM_CHAR, L'\x1b', 1);
    }
    expectHandedOver(way.c_str());
}

INSTANTIATE_TEST_SUITE_P(Ways, SplashHandOver, ::testing::Values("BannerClick", "TypedSeven", "EnterKey", "Esc"),
                         [](const ::testing::TestParamInfo<std::string>& way) { return way.param; });

}  // namespace
}  // namespace dva::e2e
