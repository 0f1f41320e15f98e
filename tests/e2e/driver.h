// Drives the real program from outside, as a user would: starts it, finds its windows by class
// and process, clicks, reads message boxes and the detection list, and prepares drive C.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace dva::e2e {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

// How long a detection may take: one tick is 1 s, Wine adds its own delays.
inline constexpr Ms kDetectWithin{6000};
// How long the program may take to react to a click or a closed box.
inline constexpr Ms kReactWithin{4000};

std::string utf8(std::wstring_view text);

// ---- drive C ----------------------------------------------------------------------------------

// The folder of this test program: the program under test and the helpers lie beside it.
std::wstring binDir();

bool exists(const std::wstring& path);
DWORD attributes(const std::wstring& path);  // INVALID_FILE_ATTRIBUTES when absent

// Removes a file or a folder with its contents, clearing read-only, hidden and system marks first.
void removePath(const std::wstring& path);
// Clears the 19 threat paths and C:\AutoRun.inf, whatever stands there.
void clearThreatPaths();
// Creates a plain file (its parent folder too), then gives it the attributes, if any.
void placeFile(const std::wstring& path, DWORD attrs = 0);
void placeFolder(const std::wstring& path);
// Which of the threat paths exist right now, for failure reports.
std::string threatFilesPresent();

// Polls the condition every 50 ms until it holds or the time is up.
bool waitFor(const std::function<bool()>& condition, Ms within);

// ---- the program -------------------------------------------------------------------------------

// Whether this test program runs under Wine (its ntdll names Wine's version).
bool underWine();

// Posts a press and a release of the left button at a client point of the window.
void postLeftClick(HWND h, int x, int y);
// Posts mouse messages to the window, one after the other, at the middle of its client area and
// with the button flags a real pointer would give them (WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, ...).
void postMouse(HWND h, std::initializer_list<UINT> messages);

// An icon in Wine's notification area: the window that draws it and the tip its program gave.
struct TrayIcon {
    HWND window = nullptr;
    std::wstring tip;
};

// Where a run of the program is left once it has started.
enum class StartOn {
    MainWindow,  // handed over from the splash window: the main window is visible
    Splash,      // the splash window is visible and nothing has been done to it
};

struct MessageBoxSeen {
    HWND hwnd = nullptr;
    std::wstring title;
    std::wstring text;
};

// One run of the program under test. Starting it hands over from the splash window when there is
// one, so the main window is visible once the constructor returns; with StartOn::Splash it stops
// when the splash window is up. The destructor ends the process if it is still running.
class Program {
public:
    explicit Program(StartOn startOn = StartOn::MainWindow);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    DWORD pid() const { return pid_; }
    HANDLE process() const { return process_; }
    bool alive() const;
    // Waits for the process to end; returns its exit code, or nullopt if it is still running.
    std::optional<DWORD> waitForExit(Ms within) const;

    // Top-level windows of this process by class; nullptr when there is none.
    HWND topWindow(const wchar_t* className) const;
    HWND form1() const;  // also remembered, for the icons left behind once the process is gone
    HWND splash() const { return topWindow(L"frmSplash"); }
    HWND form2() const { return topWindow(L"Form2"); }
    HWND control(HWND parent, int id) const;
    HWND mainControl(int id) const;  // a control of Form1; fails the test when it is missing

    // Posts BM_CLICK to the control, as a click of the user.
    void click(HWND control) const;
    void clickMain(int id) const;
    void clickDetections(int id) const;  // a control of Form2, which must exist
    // A real click of the left mouse button at the middle of the control, through the system's
    // input queue: the system decides which window gets it, as for a user's click.
    void clickWithMouse(HWND control) const;

    // Open message boxes of the process (visible dialogs of class #32770).
    std::vector<HWND> messageBoxes() const;
    // The most boxes of this process ever seen open at the same time by any look of this driver.
    int mostBoxesAtOnce() const { return mostBoxes_; }

    // Waits for a message box; on timeout adds a failure that shows what was on screen.
    std::optional<MessageBoxSeen> waitForMessageBox(Ms within = kDetectWithin) const;
    // Closes the box with OK and waits until it is gone.
    void close(const MessageBoxSeen& box) const;
    // Waits for a box, checks its title and text, closes it. Returns whether it was as expected.
    bool expectBox(std::wstring_view title, std::wstring_view text, Ms within = kDetectWithin) const;
    // The hit message of the threat scan, closed at once.
    bool expectAlert(Ms within = kDetectWithin) const;
    // Watches for the whole time that no message box opens; fails the test if one does.
    bool expectNoMessageBoxFor(Ms span) const;

    // The lines of the detections window's list; empty when the window does not exist.
    std::vector<std::wstring> listLines() const;
    // Waits until the list holds exactly these lines.
    bool waitForLines(const std::vector<std::wstring>& lines, Ms within = kReactWithin) const;

    int checkState(int id) const;  // BM_GETCHECK of a Form1 check box
    std::wstring text(HWND h) const;

    // The icons of this program in Wine's notification area: those whose owner is one of its
    // windows or, once the process is gone, the main window it had.
    std::vector<TrayIcon> trayIcons() const;
    // Waits until the program has exactly this many icons; on timeout adds a failure.
    bool waitForTrayIcons(size_t count, Ms within = kReactWithin) const;

    // Clicks "Çıkış" and waits for the process to end.
    std::optional<DWORD> exitByCommand();

    // What can be seen of the program now: its windows with their texts, the list, the threat files.
    std::string describe() const;

private:
    void start(StartOn startOn);
    MessageBoxSeen read(HWND box) const;

    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    mutable int mostBoxes_ = 0;
    mutable HWND mainSeen_ = nullptr;
};

// Base of every end-to-end case: a clean drive C before and after, a fresh program for the case,
// and a full report of what was on screen when a check failed.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    Program& program() { return *program_; }
    // Where the case wants the program when it begins.
    virtual StartOn startOn() const { return StartOn::MainWindow; }

private:
    std::optional<Program> program_;
};

// Exact comparison of texts, printed readably (UTF-8) when they differ.
::testing::AssertionResult sameText(const char* actualExpr, const char* expectedExpr, std::wstring_view actual,
                                    std::wstring_view expected);
::testing::AssertionResult sameLines(const char* actualExpr, const char* expectedExpr,
                                     const std::vector<std::wstring>& actual,
                                     const std::vector<std::wstring>& expected);

}  // namespace dva::e2e

#define EXPECT_TEXT(actual, expected) EXPECT_PRED_FORMAT2(::dva::e2e::sameText, actual, expected)
#define ASSERT_TEXT(actual, expected) ASSERT_PRED_FORMAT2(::dva::e2e::sameText, actual, expected)
#define EXPECT_LINES(actual, ...) \
    EXPECT_PRED_FORMAT2(::dva::e2e::sameLines, actual, (std::vector<std::wstring> __VA_ARGS__))
