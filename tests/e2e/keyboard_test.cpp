// The program from the keyboard alone, as a user who does not use the mouse: real key presses
// through the system's input queue (SendInput) to the window in front.
#include <string>

#include "control_ids.h"
#include "driver.h"
#include "window_classes.h"

namespace dva::e2e {
namespace {

// The control with the keyboard focus in the program's user-interface thread, and its active window.
struct FocusSeen {
    HWND focus = nullptr, active = nullptr;
};

FocusSeen focusIn(HWND anyWindowOfTheProgram) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!anyWindowOfTheProgram ||
        !GetGUIThreadInfo(GetWindowThreadProcessId(anyWindowOfTheProgram, nullptr), &info))
        return {};
    return {info.hwndFocus, info.hwndActive};
}

std::string describeControl(const Program& p, HWND h) {
    if (!h) return "nothing";
    wchar_t name[64] = {};
    GetClassNameW(h, name, 64);
    return utf8(name) + " id " + std::to_string(GetDlgCtrlID(h)) + " \"" + utf8(p.text(h)) + "\"";
}

class Keyboard : public ProgramTest {
protected:
    // Waits until the control has the focus; fails the test, saying where the focus is, if not.
    bool waitForFocus(HWND window, int id, const std::string& after) {
        HWND wanted = GetDlgItem(window, id);
        if (wanted && waitFor([&] { return focusIn(window).focus == wanted; }, kReactWithin)) return true;
        ADD_FAILURE() << "after " << after << " the focus is on " << describeControl(program(), focusIn(window).focus)
                      << ", not on control " << id << "\n"
                      << program().describe();
        return false;
    }

    // The window must be in front for the keys to reach it; the program brings its windows
    // forward itself, and under Wine the focus reaches another process asynchronously (a copy
    // that is still loading its browser control, on a loaded machine, takes seconds).
    bool inFront(HWND window) {
        if (waitFor([&] { return GetForegroundWindow() == window; }, Ms{10000})) return true;
        ADD_FAILURE() << "the window is not in front (the foreground is " << GetForegroundWindow() << ")\n"
                      << program().describe();
        return false;
    }

    static void press(WORD vk, bool shift = false) {
        INPUT input[4] = {};
        int n = 0;
        const auto key = [&](WORD code, DWORD flags) {
            input[n].type = INPUT_KEYBOARD;
            input[n].ki.wVk = code;
            input[n].ki.wScan = static_cast<WORD>(MapVirtualKeyW(code, MAPVK_VK_TO_VSC));
            input[n].ki.dwFlags = flags;
            ++n;
        };
        if (shift) key(VK_SHIFT, 0);
        key(vk, 0);
        key(vk, KEYEVENTF_KEYUP);
        if (shift) key(VK_SHIFT, KEYEVENTF_KEYUP);
        EXPECT_EQ(SendInput(n, input, sizeof(INPUT)), static_cast<UINT>(n)) << "SendInput failed (error "
                                                                            << GetLastError() << ")";
    }
};

// The main window: a control has the focus as soon as it appears, Tab moves it in tab order,
// Enter presses the focused button, and the focus comes back where it was.
TEST_F(Keyboard, MainWindowWorksFromTheKeyboardAndKeepsItsFocus) {
    Program& p = program();
    HWND main = p.mainWindow();
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(waitForFocus(main, ids::main::scan, "the main window appeared"));
    ASSERT_TRUE(inFront(main));

    press(VK_TAB);
    ASSERT_TRUE(waitForFocus(main, ids::main::detections, "Tab"));
    press(VK_RETURN);
    HWND detections = p.waitShown(window_class::kDetections);
    ASSERT_NE(detections, nullptr) << "Enter on \"Virus tespitleri\" did not open the detections window";
    EXPECT_TRUE(p.expectNoMessageBoxFor(Ms{500}));

    // Away to the detections window and back with a click on the banner: the focus is where the
    // user left it, not on the bare window nor on the first control.
    ASSERT_TRUE(waitFor([&] { return focusIn(main).active == detections; }, kReactWithin))
        << "the detections window did not become active\n" << p.describe();
    clickWithMouse(GetDlgItem(main, ids::main::banner));
    ASSERT_TRUE(waitFor([&] { return focusIn(main).active == main; }, kReactWithin)) << p.describe();
    EXPECT_TRUE(waitForFocus(main, ids::main::detections, "switching back to the main window"));

    // Enter where no button has the focus does nothing: in the detections window's list.
    ASSERT_TRUE(inFront(main));
    press(VK_TAB, true);
    ASSERT_TRUE(waitForFocus(main, ids::main::scan, "Shift+Tab"));
    SetForegroundWindow(detections);
    ASSERT_TRUE(inFront(detections));
    ASSERT_TRUE(waitForFocus(detections, ids::detections::list, "showing the detections window"));
    press(VK_RETURN);
    press(VK_ESCAPE);
    EXPECT_TRUE(p.expectNoMessageBoxFor(kNothingFor));
    EXPECT_EQ(p.waitShown(window_class::kDetections), detections) << "Enter or Esc in the list closed the window";
    // Tab round to "Kapat", and Enter presses it.
    press(VK_TAB);
    ASSERT_TRUE(waitForFocus(detections, ids::detections::clear, "Tab in the detections window"));
    press(VK_TAB);
    ASSERT_TRUE(waitForFocus(detections, ids::detections::close, "Tab in the detections window"));
    press(VK_RETURN);
    EXPECT_TRUE(p.waitGone(window_class::kDetections)) << "Enter on \"Kapat\" did not close it";
}

// The agreement: Shift+Tab from the first button goes round to "Online Destek"; in the warning
// text Esc does not close the agreement, and Tab leads out of the text to the accept button.
TEST_F(Keyboard, AgreementIsReadAndAcceptedFromTheKeyboard) {
    Program& p = program();
    HWND main = p.mainWindow();
    ASSERT_TRUE(waitForDesktopShell()) << "the desktop shell did not answer";
    ASSERT_TRUE(waitForFocus(main, ids::main::scan, "the main window appeared"));
    ASSERT_TRUE(inFront(main));
    press(VK_TAB, true);
    ASSERT_TRUE(waitForFocus(main, ids::main::support, "Shift+Tab from the first control"));
    press(VK_RETURN);
    HWND agreement = p.waitShown(window_class::kAgreement);
    ASSERT_NE(agreement, nullptr) << "Enter on \"Online Destek\" did not open the agreement";
    ASSERT_TRUE(inFront(agreement));
    ASSERT_TRUE(waitForFocus(agreement, ids::agreement::text, "the agreement appeared"));

    press(VK_ESCAPE);
    EXPECT_TRUE(p.expectNoMessageBoxFor(kNothingFor));
    ASSERT_EQ(p.waitShown(window_class::kAgreement), agreement) << "Esc closed the agreement";

    HWND text = GetDlgItem(agreement, ids::agreement::text);
    clickWithMouse(text);
    ASSERT_TRUE(waitForFocus(agreement, ids::agreement::text, "a click in the text"));
    press(VK_TAB);
    ASSERT_TRUE(waitForFocus(agreement, ids::agreement::accept, "Tab in the warning text"));
    press(VK_ESCAPE);
    EXPECT_TRUE(p.expectNoMessageBoxFor(Ms{800}));
    ASSERT_EQ(p.waitShown(window_class::kAgreement), agreement) << "Esc on the button closed the agreement";
    // Out of the text backwards too, and round.
    press(VK_TAB, true);
    ASSERT_TRUE(waitForFocus(agreement, ids::agreement::text, "Shift+Tab from the accept button"));
    press(VK_TAB, true);
    ASSERT_TRUE(waitForFocus(agreement, ids::agreement::decline, "Shift+Tab out of the warning text"));
    press(VK_TAB);
    ASSERT_TRUE(waitForFocus(agreement, ids::agreement::text, "Tab from the last button"));
    press(VK_TAB);
    ASSERT_TRUE(waitForFocus(agreement, ids::agreement::accept, "Tab in the warning text"));

    press(VK_RETURN);
    // With raised rights (as under Wine) a copy of the program started by the shell shows it.
    HWND support = nullptr;
    waitFor([&] { return (support = FindWindowW(window_class::kSupport, nullptr)) && IsWindowVisible(support); },
            Ms{15000});
    ASSERT_NE(support, nullptr) << "Enter on \"Okudum ve kabul ettim\" did not open the support window";
    // Whatever happens below, the support window goes, and with it a copy that shows it.
    const std::shared_ptr<void> closeSupport(support, [](HWND h) {
        PostMessageW(h, WM_CLOSE, 0, 0);
        waitFor([h] { return !IsWindow(h); }, kReactWithin);
    });
    EXPECT_TRUE(p.waitGone(window_class::kAgreement));
    EXPECT_TRUE(p.expectNoMessageBoxFor(Ms{500})) << "accepting by Enter also declined";

    // The support window: the focus starts in the browser control; keys it leaves (Tab here, where
    // Wine's control has no page to tab through) go on to "Bağlan!".
    ASSERT_TRUE(inFront(support));
    HWND browser = GetDlgItem(support, ids::support::browser);
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(waitFor([&] { HWND f = focusIn(support).focus; return f == browser || IsChild(browser, f); },
                        kReactWithin))
        << "the focus is on " << describeControl(p, focusIn(support).focus) << "\n" << p.describe();
    press(VK_TAB);
    EXPECT_TRUE(waitForFocus(support, ids::support::connect, "Tab from the browser control"));
    EXPECT_TRUE(p.alive());
}

}  // namespace
}  // namespace dva::e2e
