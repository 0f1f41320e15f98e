// Drives the real program from outside, as a user would, and prepares drive C for it. The
// window driving itself (tools/window_driving.h), drive C and the registry (drive_c.h) and Wine's
// notification area (wine_tray.h) are in files of their own; this header brings them all.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "control_ids.h"
#include "drive_c.h"
#include "window_classes.h"
#include "window_driving.h"
#include "wine_tray.h"

namespace dva::e2e {

using namespace std::chrono_literals;
using namespace dva::drive;

inline constexpr Ms kDetectWithin{6000};  // one tick is 1 s; Wine adds its own delays
inline constexpr Ms kReactWithin{4000};   // for a click or a closed box
inline constexpr Ms kNothingFor{1500};    // how long an input that must do nothing is watched

std::wstring binDir();  // this test program's folder: the program and the helpers lie beside it
// The program under test: the one built beside this test program, or the one the environment
// variable DVA_PROGRAM names (the 32-bit build, which this 64-bit test program drives as well).
std::wstring programFile();
// A file the environment variable names (a Unix path is taken through Wine's drive Z:); empty when unset.
std::wstring fileFromEnvironment(const wchar_t* variable);
std::wstring fileNameOf(const std::wstring& path);  // after the last backslash
bool programIs32Bit();  // a 32-bit program: on this 64-bit Windows, it runs under WoW64
// Why this machine cannot run 32-bit programs (scripts/wine-run tells the test program in
// DVA_X86_UNAVAILABLE when its Linux kernel runs none), or nothing when it can; and the same for
// one program file, which matters only when it is a 32-bit one.
std::optional<std::string> x86Unavailable();
// Runs a command line and waits for it, up to 2 minutes: its exit code, or nullopt (and a failure)
// if it did not start or end. `meanwhile` is called every 50 ms while it runs.
std::optional<DWORD> runToEnd(std::wstring commandLine, const std::function<void()>& meanwhile = {});
std::optional<std::string> whyCannotRun(const std::wstring& file);
// The folder the program must start the system's own commands from: System32, or for a 32-bit
// program the Sysnative alias of the 64-bit System32 (its own System32 is redirected to SysWOW64).
std::wstring systemProgramFolderOfProgram();
bool testRunsElevated();     // with the same rights as a program that asks for the highest ones
// Waits until the desktop shell answers for its desktop window (ShellWindows, SWC_DESKTOP), as it
// does from sign-in on. Each case starts a new Wine session, whose desktop process registers it a
// moment after the first program starts, later still on a loaded machine: a case that goes
// through the shell waits for it first, as a user cannot click before the desktop is there.
bool waitForDesktopShell(Ms within = Ms{30000});

// The recorder stand-in, copied as <name>.exe wherever a test needs it (drive_c.h reads its calls).
inline const std::wstring kRecorder = binDir() + L"dva_recorder.exe";

// Client area of the window in pixels at 96 dpi, scaled to the screen's dpi.
::testing::AssertionResult clientIs(HWND h, int width, int height);

// A real left click at the middle of the window, through the system's input queue; fails the
// test when the window has no place on screen or the system did not take the input.
void clickWithMouse(HWND h);

struct TrayIcon {
    HWND window;
    std::wstring tip;
};

// SignIn: started with the sign-in task's switch, the program shows no window; the constructor
// waits until its main window exists, hidden, and fails the test if any window showed meanwhile.
enum class StartOn { MainWindow, Splash, SignIn };
inline constexpr wchar_t kSignInSwitch[] = L"/signin";

// One run of the program (the one beside this test program unless another file is given), with
// the arguments given, or else /signin for StartOn::SignIn and none otherwise. With
// StartOn::MainWindow the constructor hands over from the splash, so the main window is visible.
// The destructor ends the process if it still runs.
class Program {
public:
    explicit Program(StartOn startOn = StartOn::MainWindow, const std::wstring& exe = programFile(),
                     std::optional<std::wstring> arguments = std::nullopt);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool alive() const;
    std::optional<DWORD> waitForExit(Ms within) const;  // the exit code
    void crash();  // ends the process at once, as a crash would, and waits until it is gone

    HWND topWindow(const wchar_t* className) const;  // nullptr when there is none
    std::vector<HWND> windows(const wchar_t* className, bool visibleOnly = true) const;
    HWND waitShown(const wchar_t* className) const;  // exactly one visible; fails otherwise
    bool waitGone(const wchar_t* className) const;
    HWND mainWindow() const;  // remembered, to find its icons once the process is gone
    HWND splash() const { return topWindow(window_class::kSplash); }
    HWND detectionsWindow() const { return topWindow(window_class::kDetections); }
    bool mainVisible() const;
    HWND mainControl(int id) const;  // fails the test when it is missing

    void click(HWND control) const;  // BM_CLICK, posted
    void clickMain(int id) const { click(mainControl(id)); }

    std::vector<HWND> messageBoxes() const;
    int mostBoxesAtOnce() const { return mostBoxes_; }  // over every look of this driver
    std::optional<MessageBoxSeen> waitForMessageBox(Ms within = kDetectWithin) const;
    void close(const MessageBoxSeen& box) const;  // OK, and waits until it is gone
    // Waits for a box and checks its title and text; the expect... ones also close it.
    std::optional<MessageBoxSeen> waitForBox(std::wstring_view title, std::wstring_view text,
                                             Ms within = kDetectWithin) const;
    std::optional<MessageBoxSeen> waitForAlert() const;  // the threat scan's hit message
    bool expectBox(std::wstring_view title, std::wstring_view text, Ms within = kDetectWithin) const;
    bool expectAlert() const;
    bool expectNoMessageBoxFor(Ms span) const;

    std::vector<std::wstring> listLines() const;  // of the detections window; empty without one
    bool waitForLines(const std::vector<std::wstring>& lines, Ms within = kReactWithin) const;
    int checkState(int id) const;  // of a MainWindow check box
    std::wstring text(HWND h) const;

    std::vector<TrayIcon> trayIcons() const;  // in Wine's notification area
    static size_t allTrayIcons();             // of every program
    static size_t allMessageBoxes();          // visible ones, of every program
    bool waitForTrayIcons(size_t count, Ms within = kReactWithin) const;

    std::string describe() const;  // windows, texts, list, icons and threat files, for failures

private:
    MessageBoxSeen read(HWND box) const;
    HWND firstBoxWithin(Ms span) const;

    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    mutable int mostBoxes_ = 0;
    mutable HWND mainSeen_ = nullptr;
};

// Another start of the program, watched until it ends: its exit code (nullopt when it still ran
// after `within`; it is then ended) and the classes of the windows it showed meanwhile.
struct OtherStart {
    std::optional<DWORD> exitCode;
    std::vector<std::wstring> windowsShown;
};
OtherStart startAgain(Ms within, const std::wstring& arguments = L"");

// A clean drive C before and after, a fresh program, and what was on screen when a check failed.
// Two boxes of the program open at once fail any case.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    Program& program() { return *program_; }
    virtual StartOn startOn() const { return StartOn::MainWindow; }
    virtual std::wstring programToStart() const { return programFile(); }

private:
    std::optional<Program> program_;
};

::testing::AssertionResult sameText(const char* actualExpr, const char* expectedExpr, std::wstring_view actual,
                                    std::wstring_view expected);
::testing::AssertionResult sameLines(const char* actualExpr, const char* expectedExpr,
                                     const std::vector<std::wstring>& actual,
                                     const std::vector<std::wstring>& expected);

}  // namespace dva::e2e

// A case that must run this program file is skipped, with the reason, where the machine cannot.
#define DVA_SKIP_IF_CANNOT_RUN(file)                                        \
    do {                                                                   \
        if (const auto why = ::dva::e2e::whyCannotRun(file)) GTEST_SKIP() << *why; \
    } while (false)

#define EXPECT_TEXT(actual, expected) EXPECT_PRED_FORMAT2(::dva::e2e::sameText, actual, expected)
#define EXPECT_LINES(actual, ...) \
    EXPECT_PRED_FORMAT2(::dva::e2e::sameLines, actual, (std::vector<std::wstring> __VA_ARGS__))
