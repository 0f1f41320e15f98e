// The start of the sign-in task (/signin): no splash and no window, straight into protection
// behind the notification-area icon; and a sign-in start while a copy runs hands over silently.
#include "driver.h"  // first: <shellapi.h> needs <windows.h>

#include <shellapi.h>

#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "control_ids.h"
#include "window_classes.h"

namespace dva::e2e {
namespace {

// Whether window a lies above window b on the screen.
bool above(HWND a, HWND b) {
    if (!IsWindow(a) || !IsWindow(b)) return false;
    for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) {
        if (h == a) return true;
        if (h == b) return false;
    }
    return false;
}

// A window of another program that the desktop shows, in front when the alert comes.
class OtherProgramsWindow {
public:
    OtherProgramsWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"DvaOtherProgram";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, wc.lpszClassName, L"Another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                  wc.hInstance, nullptr);
        SetForegroundWindow(window_);
    }
    ~OtherProgramsWindow() { DestroyWindow(window_); }
    OtherProgramsWindow(const OtherProgramsWindow&) = delete;
    OtherProgramsWindow& operator=(const OtherProgramsWindow&) = delete;
    HWND window() const { return window_; }

private:
    HWND window_ = nullptr;
};

class SignIn : public ProgramTest {
protected:
    void SetUp() override {
        if (!underWine()) GTEST_SKIP() << "looks for the icon in Wine's own notification area";
        ProgramTest::SetUp();
    }
    StartOn startOn() const override { return StartOn::SignIn; }

    // No window of the program shows but message boxes: never the splash, never the main window.
    ::testing::AssertionResult nothingButBoxesShown() {
        for (const wchar_t* name : {window_class::kSplash, window_class::kMain, window_class::kDetections}) {
            if (!program().windows(name).empty())
                return ::testing::AssertionFailure() << utf8(name) << " is visible\n" << program().describe();
        }
        return ::testing::AssertionSuccess();
    }
};

TEST_F(SignIn, StartsHiddenBehindOneIconAndProtectsWithoutAnyClick) {
    Program& p = program();
    ASSERT_TRUE(p.waitForTrayIcons(1));
    EXPECT_TEXT(p.trayIcons().front().tip, L"Dravonil Veriz Avize");
    EXPECT_EQ(p.splash(), nullptr) << "the splash was made";
    EXPECT_FALSE(p.mainVisible());
    EXPECT_EQ(p.windows(window_class::kMain, false).size(), 1u);

    // Watched over a few ticks: nothing shows, and the scan runs on the hidden window.
    EXPECT_FALSE(waitFor([&] { return !nothingButBoxesShown(); }, kNothingFor)) << nothingButBoxesShown().message();
    placeFile(L"C:\\RavMon.exe");
    const auto alert = p.waitForAlert();
    ASSERT_TRUE(alert.has_value());
    EXPECT_TRUE(nothingButBoxesShown());
    p.close(*alert);
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\RavMon.exe"); }, kReactWithin)) << p.describe();
    EXPECT_TRUE(p.waitForLines({L"C:\\RavMon.exe"}));
    EXPECT_TRUE(nothingButBoxesShown());
    EXPECT_EQ(p.trayIcons().size(), 1u);

    // The icon is the way to the window: a double-click shows it, as after the splash.
    postMouse(p.trayIcons().at(0).window, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP});
    ASSERT_TRUE(waitFor([&] { return p.mainVisible(); }, kReactWithin)) << "a double-click did not show the window\n"
                                                                        << p.describe();
    EXPECT_EQ(p.checkState(ids::main::protection), BST_CHECKED);
    EXPECT_EQ(p.splash(), nullptr);
}

// The sign-in task and a copy already running: the second start ends at once and leaves the
// copy as it is, whatever else is on its command line; a start by the user still brings it forward.
TEST_F(SignIn, StartWithTheSwitchWhileACopyRunsEndsAndLeavesItHidden) {
    Program& p = program();
    ASSERT_TRUE(p.waitForTrayIcons(1));
    for (const wchar_t* arguments : {L"/signin", L"hello /SIGNIN /SignIn world"}) {
        const OtherStart again = startAgain(Ms{5000}, arguments);
        EXPECT_EQ(again.exitCode, std::optional<DWORD>(0)) << utf8(arguments) << ": did not end by itself";
        EXPECT_TRUE(again.windowsShown.empty()) << utf8(arguments) << ": showed " << utf8(again.windowsShown.front());
        EXPECT_FALSE(waitFor([&] { return p.mainVisible(); }, kNothingFor))
            << utf8(arguments) << ": the running copy came forward";
    }
    EXPECT_EQ(Program::allTrayIcons(), 1u);
    EXPECT_TRUE(p.alive());

    // Unknown words alone are an ordinary start: the copy comes forward.
    const OtherStart user = startAgain(Ms{5000}, L"-signin signin");
    EXPECT_EQ(user.exitCode, std::optional<DWORD>(0));
    EXPECT_TRUE(user.windowsShown.empty());
    EXPECT_TRUE(waitFor([&] { return p.mainVisible(); }, kReactWithin)) << "the running copy did not come forward\n"
                                                                        << p.describe();
    EXPECT_EQ(p.splash(), nullptr);
}

// A threat already on drive C when the session starts: alerted at the first tick, a second
// after the program has loaded, with no window of its own in front of it.
TEST(SignInStart, AThreatPresentAtSignInIsAlertedInTheFirstSeconds) {
    if (!underWine()) GTEST_SKIP() << "runs in Wine's test prefix only";
    DVA_SKIP_IF_CANNOT_RUN(programFile());
    placeFile(L"C:\\System32.exe");
    const OtherProgramsWindow desktop;
    const auto start = std::chrono::steady_clock::now();
    Program p(StartOn::SignIn);
    ASSERT_FALSE(HasFailure());
    const auto loaded = std::chrono::steady_clock::now();
    const auto alert = p.waitForAlert();
    ASSERT_TRUE(alert.has_value()) << p.describe();
    const auto now = std::chrono::steady_clock::now();
    const auto ms = [](auto span) { return std::chrono::duration_cast<Ms>(span).count(); };
    std::cout << "alert " << ms(now - start) << " ms after the start, " << ms(now - loaded)
              << " ms after the main window was loaded" << std::endl;
    // The first tick is due 1 s after loading; Wine and a busy machine add their delays.
    EXPECT_LE(now - loaded, Ms{2500}) << "the alert came late";
    EXPECT_TRUE(above(alert->hwnd, desktop.window())) << "the alert is behind another program's window";
    // The box asks for the foreground (MB_SETFOREGROUND). Without a window manager, Wine's record
    // of the foreground window follows X focus events and now and then stays empty or with the
    // other window, so it is reported here, not judged: what the user must see is the z-order above.
    if (!waitFor([&] { return GetForegroundWindow() == alert->hwnd; }, Ms{3000}))
        std::cout << "note: Wine did not record the alert as the foreground window (it has "
                  << GetForegroundWindow() << ")" << std::endl;
    EXPECT_TRUE(p.windows(window_class::kSplash).empty() && p.windows(window_class::kMain).empty()) << p.describe();
    p.close(*alert);
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\System32.exe"); }, kReactWithin)) << p.describe();
    removePath(L"C:\\System32.exe");
}

// A notification area that is not up yet. Wine's desktop process makes its tray window before any
// program can show a window, so it cannot be started late; instead this window of the shell's
// tray class, made after it and on top, is the one the system's notify-icon call finds, and it
// refuses every request as a missing tray does, noting who asked for what. Taking it away leaves
// Wine's tray, which then takes requests as a tray that has just come up.
class TrayNotUpYet {
public:
    using Request = std::pair<HWND, ULONG_PTR>;  // who asked, and for what: NIM_ADD, NIM_DELETE, ...

    TrayNotUpYet() {
        thread_ = std::thread([this] { run(); });
        std::unique_lock lock(mutex_);
        made_.wait(lock, [&] { return done_; });
    }
    ~TrayNotUpYet() { takeAway(); }
    TrayNotUpYet(const TrayNotUpYet&) = delete;
    TrayNotUpYet& operator=(const TrayNotUpYet&) = delete;

    HWND window() const { return window_; }
    void takeAway() {
        if (!thread_.joinable()) return;
        PostMessageW(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    std::vector<Request> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    // Its own thread answers the program's calls at once, whatever the test is waiting for.
    void run() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"Shell_TrayWnd";
        RegisterClassW(&wc);
        HWND h = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        if (h) SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        {
            std::lock_guard lock(mutex_);
            window_ = h;
            done_ = true;
        }
        made_.notify_all();
        MSG msg;
        while (h && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        UnregisterClassW(wc.lpszClassName, wc.hInstance);
    }

    static LRESULT CALLBACK proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<TrayNotUpYet*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        switch (msg) {
        case WM_COPYDATA:
            if (self) {
                std::lock_guard lock(self->mutex_);
                self->requests_.push_back({reinterpret_cast<HWND>(wp), reinterpret_cast<COPYDATASTRUCT*>(lp)->dwData});
            }
            return FALSE;  // not taken: there is no notification area yet
        case WM_CLOSE: DestroyWindow(h); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default: return DefWindowProcW(h, msg, wp, lp);
        }
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable made_;
    bool done_ = false;
    HWND window_ = nullptr;
    std::vector<Request> requests_;
};

TEST(SignInStart, BeforeTheNotificationAreaIsUpTheIconComesWhenItAnnouncesItself) {
    if (!underWine()) GTEST_SKIP() << "reads Wine's own notification area";
    DVA_SKIP_IF_CANNOT_RUN(programFile());
    TrayNotUpYet notUpYet;
    ASSERT_NE(notUpYet.window(), nullptr);
    ASSERT_EQ(FindWindowW(L"Shell_TrayWnd", nullptr), notUpYet.window())
        << "Wine's tray window is found first: the test cannot stand in for a tray that is not up";

    Program p(StartOn::SignIn);
    ASSERT_FALSE(HasFailure());
    HWND main = p.mainWindow();
    // The program asked as it loaded, was refused, and goes on protecting without an icon.
    ASSERT_TRUE(waitFor([&] { return !notUpYet.requests().empty(); }, kReactWithin)) << "the program never asked";
    EXPECT_EQ(notUpYet.requests().front(), TrayNotUpYet::Request(main, NIM_ADD));
    EXPECT_FALSE(p.waitForExit(kNothingFor).has_value()) << "the program ended without a notification area";
    EXPECT_TRUE(p.trayIcons().empty());
    EXPECT_FALSE(p.mainVisible()) << "without an icon the window was shown instead";

    // The shell comes up and announces itself to every top-level window, as Explorer does.
    notUpYet.takeAway();
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    ASSERT_TRUE(SendNotifyMessageW(HWND_BROADCAST, taskbarCreated, 0, 0));
    ASSERT_TRUE(p.waitForTrayIcons(1)) << "the icon did not come with \"TaskbarCreated\"";
    EXPECT_TEXT(p.trayIcons().front().tip, L"Dravonil Veriz Avize");
    EXPECT_FALSE(p.mainVisible());

    // And it is the way to the window, as after any other start.
    postMouse(p.trayIcons().at(0).window, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP});
    EXPECT_TRUE(waitFor([&] { return p.mainVisible(); }, kReactWithin)) << p.describe();
}

}  // namespace
}  // namespace dva::e2e
