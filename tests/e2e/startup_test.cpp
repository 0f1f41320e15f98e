// Start-up: the splash window the program opens on, and the one hand-over to the main window.
#include <ostream>
#include <string>

#include "control_ids.h"
#include "driver.h"

namespace dva::e2e {
namespace {

// How long an input that must do nothing is watched.
constexpr Ms kNothingFor{1500};

int screenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

class Splash : public ProgramTest {
protected:
    StartOn startOn() const override { return StartOn::Splash; }

    // Whether the main window shows up (in any state) within the span.
    bool mainWindowAppearsWithin(Ms span) {
        return waitFor([&] { return program().form1() != nullptr; }, span);
    }

    // Whether the input handed over: the splash is gone for good, one main window is visible and
    // has put one icon into the notification area.
    void expectHandedOver(const std::string& how) {
        Program& p = program();
        const bool over = waitFor(
            [&] {
                HWND main = p.form1();
                return main && IsWindowVisible(main) && !p.splash();
            },
            kReactWithin);
        ASSERT_TRUE(over) << how << " did not hand over to the main window\n" << p.describe();
        EXPECT_TRUE(p.alive());
        struct Count {
            DWORD pid;
            int mainWindows;
        } count{p.pid(), 0};
        EnumWindows(
            [](HWND h, LPARAM lp) -> BOOL {
                auto& c = *reinterpret_cast<Count*>(lp);
                DWORD owner = 0;
                GetWindowThreadProcessId(h, &owner);
                wchar_t name[32] = {};
                GetClassNameW(h, name, 32);
                if (owner == c.pid && std::wstring(name) == L"Form1") ++c.mainWindows;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&count));
        EXPECT_EQ(count.mainWindows, 1) << how;
        if (underWine()) EXPECT_TRUE(p.waitForTrayIcons(1)) << how;
        // The splash does not come back, and nothing else opens.
        EXPECT_TRUE(p.expectNoMessageBoxFor(Ms{500})) << how;
        EXPECT_EQ(p.splash(), nullptr) << how;
        EXPECT_TRUE(IsWindowVisible(p.form1())) << how;
    }

    // A point of the splash's client area that belongs to the window itself, not to a control.
    POINT backgroundPoint() {
        HWND splash = program().splash();
        RECT client{};
        GetClientRect(splash, &client);
        const POINT at{client.right - 8, client.bottom - 8};
        EXPECT_EQ(ChildWindowFromPointEx(splash, at, CWP_ALL), splash) << "the chosen point lies on a control";
        return at;
    }
};

TEST_F(Splash, OpensCentredWithTheProductNameAndNothingElse) {
    Program& p = program();
    HWND splash = p.splash();
    ASSERT_NE(splash, nullptr);
    EXPECT_TRUE(IsWindowVisible(splash));
    EXPECT_TEXT(p.text(splash), L"");

    // A dialog frame without a title bar: the frame is no thicker at the top than at the bottom.
    const LONG style = GetWindowLongW(splash, GWL_STYLE), exStyle = GetWindowLongW(splash, GWL_EXSTYLE);
    EXPECT_NE(style & WS_CAPTION, WS_CAPTION) << "style 0x" << std::hex << style;
    EXPECT_FALSE(style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) << "style 0x" << std::hex << style;
    RECT window{}, client{};
    GetWindowRect(splash, &window);
    GetClientRect(splash, &client);
    POINT clientTopLeft{0, 0}, clientBottomRight{client.right, client.bottom};
    ClientToScreen(splash, &clientTopLeft);
    ClientToScreen(splash, &clientBottomRight);
    EXPECT_EQ(clientTopLeft.y - window.top, window.bottom - clientBottomRight.y) << "a title bar above the client area";
    // Not in the taskbar.
    EXPECT_TRUE((exStyle & WS_EX_TOOLWINDOW) || (GetWindow(splash, GW_OWNER) && !(exStyle & WS_EX_APPWINDOW)))
        << "extended style 0x" << std::hex << exStyle;

    const int dpi = screenDpi();
    EXPECT_EQ(client.right, MulDiv(481, dpi, 96)) << "client width at " << dpi << " dpi";
    EXPECT_EQ(client.bottom, MulDiv(200, dpi, 96)) << "client height at " << dpi << " dpi";
    const int width = window.right - window.left, height = window.bottom - window.top;
    EXPECT_NEAR(window.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2, 1) << "not centred across";
    EXPECT_NEAR(window.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 1) << "not centred down";

    HWND name = p.control(splash, ids::SplashLabel4), invite = p.control(splash, ids::SplashLabel1);
    HWND banner = p.control(splash, ids::SplashPicture1);
    ASSERT_TRUE(name && invite && banner) << p.describe();
    EXPECT_TEXT(p.text(name), L"Dravonil Veriz Avize 0.1");
    EXPECT_TEXT(p.text(invite), L"Tıkla ve devam et...");
    for (HWND c : {name, invite, banner}) EXPECT_TRUE(IsWindowVisible(c)) << "control " << GetDlgCtrlID(c);

    // The splash waits: no main window, no icon, no box, however long nobody touches it.
    EXPECT_TRUE(p.expectNoMessageBoxFor(kNothingFor));
    EXPECT_EQ(p.form1(), nullptr) << "the main window exists before the hand-over";
    if (underWine()) EXPECT_TRUE(p.trayIcons().empty()) << "an icon before the main window was loaded";
    EXPECT_TRUE(IsWindowVisible(splash));
}

TEST_F(Splash, IgnoresClicksOnItsLabelsAndKeysWithoutACharacter) {
    Program& p = program();
    HWND splash = p.splash();
    ASSERT_NE(splash, nullptr);

    // Real clicks of the mouse on each label, then clicks delivered to them as messages.
    for (int id : {ids::SplashLabel4, ids::SplashLabel1}) {
        HWND label = p.control(splash, id);
        ASSERT_NE(label, nullptr) << "label " << id;
        p.clickWithMouse(label);
        EXPECT_FALSE(mainWindowAppearsWithin(kNothingFor)) << "a mouse click on label " << id << " handed over";
        postLeftClick(label, 2, 2);
        EXPECT_FALSE(mainWindowAppearsWithin(kNothingFor)) << "a posted click on label " << id << " handed over";
    }
    EXPECT_TRUE(IsWindowVisible(splash));

    // Keys that type no character: arrows, a function key, Shift and Ctrl alone.
    const struct {
        UINT key;
        UINT scanCode;
        bool extended;
    } keys[] = {{VK_LEFT, 0x4B, true}, {VK_DOWN, 0x50, true}, {VK_F5, 0x3F, false},
                {VK_SHIFT, 0x2A, false}, {VK_CONTROL, 0x1D, false}};
    for (const auto& k : keys) {
        const LPARAM down = 1 | (LPARAM{k.scanCode} << 16) | (k.extended ? LPARAM{1} << 24 : 0);
        PostMessageW(splash, WM_KEYDOWN, k.key, down);
        PostMessageW(splash, WM_KEYUP, k.key, down | (LPARAM{1} << 30) | (LPARAM{1} << 31));
    }
    EXPECT_FALSE(mainWindowAppearsWithin(kNothingFor)) << "a key without a character handed over";
    EXPECT_TRUE(p.expectNoMessageBoxFor(Ms{100}));
    EXPECT_EQ(p.splash(), splash);
    EXPECT_TRUE(IsWindowVisible(splash));

    // The splash still answers: a click on its background hands over.
    const POINT at = backgroundPoint();
    postLeftClick(splash, at.x, at.y);
    expectHandedOver("a click on the background after the ignored inputs");
}

TEST_F(Splash, ClosedBeforeTheHandOverEndsTheProgramWithoutTheMainWindow) {
    Program& p = program();
    HWND splash = p.splash();
    ASSERT_NE(splash, nullptr);
    PostMessageW(splash, WM_CLOSE, 0, 0);
    // Watch the whole time: the main window never shows up on the way out.
    bool mainSeen = false;
    const bool ended = waitFor(
        [&] {
            if (p.form1()) mainSeen = true;
            return !p.alive();
        },
        Ms{10000});
    EXPECT_TRUE(ended) << "the process is still running after its splash window was closed\n" << p.describe();
    EXPECT_FALSE(mainSeen) << "the main window was created while the splash closed";
    EXPECT_EQ(p.mostBoxesAtOnce(), 0) << "a message box opened while the splash closed";
}

// The ways a user hands over from the splash: each must do it, and only once.
enum class Way {
    BackgroundClick,
    BannerMouseClick,
    BannerPostedClick,
    Letter,
    Enter,
    Esc,
    Space,
    EnterKeyPress,
    TypedByKeyboard
};

struct HandOverCase {
    Way way;
    const char* id;    // the name of the case
    const char* name;  // what the user did, for the failure report
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const HandOverCase& c, std::ostream* out) { *out << c.name; }

class SplashHandOver : public Splash, public ::testing::WithParamInterface<HandOverCase> {};

TEST_P(SplashHandOver, ShowsTheMainWindowOnce) {
    Program& p = program();
    HWND splash = p.splash();
    ASSERT_NE(splash, nullptr);
    HWND banner = p.control(splash, ids::SplashPicture1);
    ASSERT_NE(banner, nullptr);
    auto typed = [&](wchar_t c) {
        // Twice at once: the second character must not make a second hand-over.
        PostMessageW(splash, WM_CHAR, c, 1);
        PostMessageW(splash, WM_CHAR, c, 1);
    };
    switch (GetParam().way) {
    case Way::BackgroundClick: {
        const POINT at = backgroundPoint();
        postLeftClick(splash, at.x, at.y);
        postLeftClick(splash, at.x, at.y);
        break;
    }
    case Way::BannerMouseClick: p.clickWithMouse(banner); break;
    case Way::BannerPostedClick:
        postLeftClick(banner, 20, 20);
        postLeftClick(banner, 20, 20);
        break;
    case Way::Letter: typed(L'a'); break;
    case Way::Enter: typed(L'\r'); break;
    case Way::Esc: typed(L'\x1b'); break;
    case Way::Space: typed(L' '); break;
    case Way::EnterKeyPress:
        // The key itself, as the keyboard reports it: the program's message loop makes the character.
        PostMessageW(splash, WM_KEYDOWN, VK_RETURN, 1 | (0x1C << 16));
        PostMessageW(splash, WM_KEYUP, VK_RETURN, 1 | (0x1C << 16) | (1u << 30) | (1u << 31));
        break;
    case Way::TypedByKeyboard: {
        // A real key press of "7" through the system's input queue, to the window that has the focus.
        SetForegroundWindow(splash);
        INPUT input[2] = {};
        input[0].type = input[1].type = INPUT_KEYBOARD;
        input[0].ki.wVk = input[1].ki.wVk = '7';
        input[1].ki.dwFlags = KEYEVENTF_KEYUP;
        ASSERT_EQ(SendInput(2, input, sizeof(INPUT)), 2u) << "SendInput failed (error " << GetLastError() << ")";
        break;
    }
    }
    expectHandedOver(GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, SplashHandOver,
    ::testing::Values(HandOverCase{Way::BackgroundClick, "BackgroundClick", "a click on the background"},
                      HandOverCase{Way::BannerMouseClick, "BannerMouseClick", "a mouse click on the banner"},
                      HandOverCase{Way::BannerPostedClick, "BannerPostedClick", "a posted click on the banner"},
                      HandOverCase{Way::Letter, "Letter", "typing \"a\""},
                      HandOverCase{Way::Enter, "Enter", "typing Enter"},
                      HandOverCase{Way::Esc, "Esc", "typing Esc"},
                      HandOverCase{Way::Space, "Space", "typing a space"},
                      HandOverCase{Way::EnterKeyPress, "EnterKeyPress", "pressing Enter"},
                      HandOverCase{Way::TypedByKeyboard, "TypedByKeyboard", "typing \"7\" on the keyboard"}),
    [](const ::testing::TestParamInfo<HandOverCase>& info) { return std::string(info.param.id); });

}  // namespace
}  // namespace dva::e2e
