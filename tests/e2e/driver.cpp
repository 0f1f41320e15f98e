#include "driver.h"

#include <exdisp.h>
#include <shlobj.h>

#include <algorithm>
#include <iostream>
#include <sstream>

#include "control_ids.h"
#include "known_threats.h"
#include "window_classes.h"

namespace dva::e2e {
namespace {

std::string inQuotes(std::wstring_view text) {
    std::string out = "\"";
    for (char c : utf8(text)) out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    return out + "\"";
}

// Xvfb has no window manager, and Wine waits two seconds for one each time a managed window
// closes. Unmanaged windows spare every message box that wait.
void unmanagedWindowsUnderWine() {
    HKEY key = nullptr;
    if (!underWine() || RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", 0, nullptr, 0,
                                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"N"), 2 * sizeof(wchar_t));
    RegCloseKey(key);
}

}  // namespace

std::wstring binDir() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir = self;
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

std::wstring fileFromEnvironment(const wchar_t* variable) {
    wchar_t named[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(variable, named, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return L"";
    std::wstring path = named;
    // CTest sets it from the build tree's Unix path; under Wine drive Z: is the Unix root.
    if (path.front() == L'/') path = L"Z:" + path;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring programFile() {
    static const std::wstring file = [] {
        const std::wstring named = fileFromEnvironment(L"DVA_PROGRAM");
        return named.empty() ? binDir() + L"Dravonil Veriz Avize.exe" : named;
    }();
    return file;
}

std::wstring fileNameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

bool programIs32Bit() {
    DWORD type = 0;
    return GetBinaryTypeW(programFile().c_str(), &type) && type == SCS_32BIT_BINARY;
}

std::optional<std::string> whyCannotRun(const std::wstring& file) {
    DWORD type = 0;
    if (!GetBinaryTypeW(file.c_str(), &type) || type != SCS_32BIT_BINARY) return std::nullopt;
    return x86Unavailable();
}

bool waitForDesktopShell(Ms within) {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool ready = waitFor(
        [] {
            IShellWindows* windows = nullptr;
            if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                        reinterpret_cast<void**>(&windows))))
                return false;
            VARIANT none{};
            long desktopWindow = 0;
            IDispatch* desktop = nullptr;
            const bool found = windows->FindWindowSW(&none, &none, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH,
                                                     &desktop) == S_OK;
            if (desktop) desktop->Release();
            windows->Release();
            return found;
        },
        within);
    if (SUCCEEDED(init)) CoUninitialize();
    return ready;
}

std::optional<DWORD> runToEnd(std::wstring commandLine, const std::function<void()>& meanwhile) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // Wine's process creation now and then answers ERROR_INTERNAL_ERROR on a loaded machine (seen
    // once starting msiexec.exe; the same start a moment later works): a start is tried again then.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt) Sleep(1000);
        started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
        if (!started && GetLastError() != ERROR_INTERNAL_ERROR) break;
    }
    if (!started) {
        ADD_FAILURE() << "could not start " << utf8(commandLine) << " (error " << GetLastError() << ")";
        return std::nullopt;
    }
    CloseHandle(pi.hThread);
    DWORD code = 0;
    const bool ended = waitFor(
        [&] {
            if (meanwhile) meanwhile();
            return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0;
        },
        Ms{120000});
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    if (!ended) {
        ADD_FAILURE() << utf8(commandLine) << " did not end within 2 minutes";
        return std::nullopt;
    }
    return code;
}

std::optional<std::string> x86Unavailable() {
    std::wstring why(1024, L'\0');
    why.resize(GetEnvironmentVariableW(L"DVA_X86_UNAVAILABLE", why.data(), static_cast<DWORD>(why.size())));
    if (why.empty() || why.size() >= 1024) return std::nullopt;
    return utf8(why);
}

std::wstring systemProgramFolderOfProgram() {
    wchar_t folder[MAX_PATH] = {};
    if (programIs32Bit()) {
        GetSystemWindowsDirectoryW(folder, MAX_PATH);
        return std::wstring(folder) + L"\\Sysnative";
    }
    GetSystemDirectoryW(folder, MAX_PATH);
    return folder;
}

bool testRunsElevated() {
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                          GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                          elevation.TokenIsElevated;
    if (token) CloseHandle(token);
    return elevated;
}

::testing::AssertionResult clientIs(HWND h, int width, int height) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    RECT r{};
    GetClientRect(h, &r);
    const int wantW = MulDiv(width, dpi, 96), wantH = MulDiv(height, dpi, 96);
    if (r.right == wantW && r.bottom == wantH) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "client area " << r.right << "x" << r.bottom << ", expected " << wantW
                                         << "x" << wantH << " at " << dpi << " dpi";
}

void clickWithMouse(HWND h) {
    RECT r{};
    ASSERT_TRUE(h && GetWindowRect(h, &r)) << "nothing to click";
    EXPECT_EQ(clickWithMouseAt(h), 3u) << "SendInput failed (error " << GetLastError() << ")";
}

namespace {
// Starts the program from its own folder, which is also its current folder.
PROCESS_INFORMATION startProgram(const std::wstring& exe, const std::wstring& arguments = L"") {
    const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\') + 1);
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const auto start = [&] {
        return CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                              &si, &pi);
    };
    bool started = start();
    // Wine's CreateProcessW waits until the new process's loader has reported in to the Wine
    // server, before any code of the program runs. When the Unix process vanishes before that
    // and leaves no exit status, Wine reports ERROR_INTERNAL_ERROR. Every case runs in a freshly
    // booted Wine session whose system processes are still starting around the first start, and
    // there, rarely, a start is lost that way: one more attempt, noted in the output.
    if (!started && GetLastError() == ERROR_INTERNAL_ERROR && underWine()) {
        std::cout << "note: Wine lost the start of " << utf8(exe) << " (error " << ERROR_INTERNAL_ERROR
                  << "); starting it once more" << std::endl;
        Sleep(200);
        started = start();
    }
    if (!started) {
        ADD_FAILURE() << "could not start " << utf8(exe) << " (error " << GetLastError() << ")";
        return {};
    }
    CloseHandle(pi.hThread);
    return pi;
}
}  // namespace

Program::Program(StartOn startOn, const std::wstring& exe, std::optional<std::wstring> arguments) {
    unmanagedWindowsUnderWine();
    const PROCESS_INFORMATION pi =
        startProgram(exe, arguments.value_or(startOn == StartOn::SignIn ? kSignInSwitch : L""));
    if (!pi.hProcess) return;
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;

    if (startOn == StartOn::SignIn) {
        // Every window the process shows while it starts is a fault: it must show none.
        std::vector<std::wstring> shown;
        const auto loaded = [&] {
            for (HWND h : windowsOf(pid_)) {
                const std::wstring name = className(h);
                if (IsWindowVisible(h) && std::find(shown.begin(), shown.end(), name) == shown.end())
                    shown.push_back(name);
            }
            return mainWindow() != nullptr || !alive();
        };
        if (!waitFor(loaded, Ms{30000}) || !alive())
            ADD_FAILURE() << "the main window was not loaded\n" << describe();
        for (const auto& name : shown) ADD_FAILURE() << "a sign-in start showed the window " << utf8(name);
        return;
    }

    // A cold Wine start is slow.
    const bool up = waitFor(
        [&] { return (splash() && IsWindowVisible(splash())) || mainVisible() || !alive(); }, Ms{30000});
    if (!up || !alive()) {
        ADD_FAILURE() << "neither the splash window nor the main window appeared\n" << describe();
    } else if (startOn == StartOn::Splash) {
        if (!splash()) ADD_FAILURE() << "the program did not open on its splash window\n" << describe();
    } else {
        // One click on the splash background hands over, once the splash can take it: a click
        // that does nothing is a fault, not something to try again.
        HWND s = nullptr;
        if (!waitFor([&] { return (s = splash()) && IsWindowVisible(s) && IsWindowEnabled(s); }, kReactWithin)) {
            ADD_FAILURE() << "the splash window did not become visible and enabled\n" << describe();
        } else {
            postLeftClick(s, 10, 10);
            if (!waitFor([&] { return mainVisible(); }, kReactWithin))
                ADD_FAILURE() << "the main window did not appear after one click on the splash\n" << describe();
        }
    }
}

Program::~Program() {
    if (!process_) return;
    TerminateProcess(process_, 1);  // fails harmlessly once it has ended
    WaitForSingleObject(process_, 10000);
    CloseHandle(process_);
}

void Program::crash() {
    if (!process_) return;
    TerminateProcess(process_, 3);
    WaitForSingleObject(process_, 10000);
}

bool Program::alive() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

std::optional<DWORD> Program::waitForExit(Ms within) const {
    DWORD code = 0;
    if (!process_ || WaitForSingleObject(process_, static_cast<DWORD>(within.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    GetExitCodeProcess(process_, &code);
    return code;
}

HWND Program::topWindow(const wchar_t* name) const {
    const auto found = windows(name, false);
    return found.empty() ? nullptr : found.front();
}

std::vector<HWND> Program::windows(const wchar_t* name, bool visibleOnly) const {
    std::vector<HWND> found;
    for (HWND h : windowsOf(pid_))
        if (className(h) == name && (!visibleOnly || IsWindowVisible(h))) found.push_back(h);
    return found;
}

HWND Program::waitShown(const wchar_t* name) const {
    std::vector<HWND> shown;
    if (waitFor([&] { return (shown = windows(name)).size() == 1; }, kReactWithin)) return shown.front();
    ADD_FAILURE() << shown.size() << " visible windows " << utf8(name) << ", not one\n" << describe();
    return nullptr;
}

bool Program::waitGone(const wchar_t* name) const {
    if (waitFor([&] { return topWindow(name) == nullptr; }, kReactWithin)) return true;
    ADD_FAILURE() << "the window " << utf8(name) << " is still there\n" << describe();
    return false;
}

HWND Program::mainWindow() const {
    HWND h = topWindow(window_class::kMain);
    if (h) mainSeen_ = h;
    return h;
}

bool Program::mainVisible() const {
    HWND h = mainWindow();
    return h && IsWindowVisible(h);
}

HWND Program::mainControl(int id) const {
    HWND h = mainWindow() ? GetDlgItem(mainWindow(), id) : nullptr;
    if (!h) ADD_FAILURE() << "the main window has no control " << id << "\n" << describe();
    return h;
}

void Program::click(HWND h) const {
    if (!h) {
        ADD_FAILURE() << "nothing to click\n" << describe();
        return;
    }
    postButtonClick(h);
}

std::vector<HWND> Program::messageBoxes() const {
    const auto boxes = windows(L"#32770");
    mostBoxes_ = std::max(mostBoxes_, static_cast<int>(boxes.size()));
    return boxes;
}

std::wstring Program::text(HWND h) const { return windowText(h); }

MessageBoxSeen Program::read(HWND box) const { return readMessageBox(box); }

HWND Program::firstBoxWithin(Ms span) const {
    std::vector<HWND> boxes;
    waitFor([&] { return !(boxes = messageBoxes()).empty() || !alive(); }, span);
    return boxes.empty() ? nullptr : boxes.front();
}

std::optional<MessageBoxSeen> Program::waitForMessageBox(Ms within) const {
    if (HWND box = firstBoxWithin(within)) return read(box);
    ADD_FAILURE() << "no message box appeared within " << within.count() << " ms\n" << describe();
    return std::nullopt;
}

void Program::close(const MessageBoxSeen& box) const {
    answerOk(box.hwnd);
    if (!waitFor([&] { return !IsWindow(box.hwnd) || !IsWindowVisible(box.hwnd); }, kReactWithin))
        ADD_FAILURE() << "the message box " << inQuotes(box.title) << " did not close on OK\n" << describe();
}

std::optional<MessageBoxSeen> Program::waitForBox(std::wstring_view title, std::wstring_view text, Ms within) const {
    auto box = waitForMessageBox(within);
    EXPECT_TEXT(box ? box->title : L"(no box)", title);
    EXPECT_TEXT(box ? box->text : L"(no box)", text);
    return box;
}

constexpr wchar_t kAlertTitle[] = L"Virüs Bulundu!", kAlertText[] = L"Sisteminizde virus tespit edildi!";

std::optional<MessageBoxSeen> Program::waitForAlert() const { return waitForBox(kAlertTitle, kAlertText); }

bool Program::expectBox(std::wstring_view title, std::wstring_view text, Ms within) const {
    const auto box = waitForBox(title, text, within);
    if (box) close(*box);
    return box && box->title == title && box->text == text;
}

bool Program::expectAlert() const { return expectBox(kAlertTitle, kAlertText); }

bool Program::expectNoMessageBoxFor(Ms span) const {
    HWND box = firstBoxWithin(span);
    if (!box) return true;
    const MessageBoxSeen seen = read(box);
    ADD_FAILURE() << "an unexpected message box: " << inQuotes(seen.title) << " " << inQuotes(seen.text) << "\n"
                  << describe();
    close(seen);
    return false;
}

std::vector<std::wstring> Program::listLines() const {
    HWND list = detectionsWindow() ? GetDlgItem(detectionsWindow(), ids::detections::list) : nullptr;
    return list ? listBoxLines(list) : std::vector<std::wstring>{};
}

bool Program::waitForLines(const std::vector<std::wstring>& lines, Ms within) const {
    if (waitFor([&] { return listLines() == lines; }, within)) return true;
    EXPECT_PRED_FORMAT2(sameLines, listLines(), lines) << "the detection list did not come to hold these lines";
    return false;
}

int Program::checkState(int id) const {
    HWND h = mainControl(id);
    const auto state = h ? ask(h, BM_GETCHECK) : std::nullopt;
    return state ? static_cast<int>(*state) : -1;
}

size_t Program::allTrayIcons() { return drive::wineTrayIcons().size(); }

size_t Program::allMessageBoxes() {
    size_t n = 0;
    for (HWND h = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); h; h = FindWindowExW(nullptr, h, L"#32770", nullptr))
        n += IsWindowVisible(h) != FALSE;
    return n;
}

OtherStart startAgain(Ms within, const std::wstring& arguments) {
    OtherStart seen;
    const PROCESS_INFORMATION pi = startProgram(programFile(), arguments);
    if (!pi.hProcess) return seen;
    const auto ended = [&] {
        for (HWND h : windowsOf(pi.dwProcessId)) {
            const std::wstring name = className(h);
            if (IsWindowVisible(h) && std::find(seen.windowsShown.begin(), seen.windowsShown.end(), name) ==
                                          seen.windowsShown.end())
                seen.windowsShown.push_back(name);
        }
        return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0;
    };
    DWORD code = 0;
    if (waitFor(ended, within) && GetExitCodeProcess(pi.hProcess, &code)) seen.exitCode = code;
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hProcess);
    return seen;
}

std::vector<TrayIcon> Program::trayIcons() const {
    mainWindow();  // remember the main window while it exists
    const auto ours = [&](HWND owner) { return owner == mainSeen_ || (IsWindow(owner) && processOf(owner) == pid_); };
    std::vector<TrayIcon> icons;
    for (HWND icon : drive::wineTrayIcons()) {
        if (auto tip = wineTrayIconTip(icon, ours)) icons.push_back({icon, *tip});
    }
    return icons;
}

bool Program::waitForTrayIcons(size_t count, Ms within) const {
    if (waitFor([&] { return trayIcons().size() == count; }, within)) return true;
    ADD_FAILURE() << "the program did not come to have " << count << " notification icon(s)\n" << describe();
    return false;
}

std::string Program::describe() const {
    std::ostringstream out;
    DWORD code = 0;
    if (process_) GetExitCodeProcess(process_, &code);
    out << "--- process " << pid_ << (alive() ? " running" : " ended, exit code " + std::to_string(code));
    for (HWND h : windowsOf(pid_)) {
        RECT client{};
        GetClientRect(h, &client);
        out << "\nwindow " << utf8(className(h)) << " " << inQuotes(text(h)) << (IsWindowVisible(h) ? "" : " hidden")
            << (IsWindowEnabled(h) ? "" : " disabled") << " client " << client.right << "x" << client.bottom;
        for (HWND c : windowsOf(0, h))
            out << "\n  " << utf8(className(c)) << " id " << GetDlgCtrlID(c) << " " << inQuotes(text(c))
                << (IsWindowVisible(c) ? "" : " hidden") << (IsWindowEnabled(c) ? "" : " disabled");
    }
    out << "\ndetection list:";
    for (const auto& line : listLines()) out << " " << inQuotes(line);
    out << "\nnotification icons: " << drive::wineTrayIcons().size() << " in all, of this program:";
    for (const auto& icon : trayIcons()) out << " " << inQuotes(icon.tip);
    out << "\nthreat files present:\n" << threatFilesPresent();
    return out.str();
}

static void clearThreatPaths() {
    for (const wchar_t* path : test::kKnownThreats) removePath(path);
}

void ProgramTest::SetUp() {
    DVA_SKIP_IF_CANNOT_RUN(programToStart());
    clearThreatPaths();
    ASSERT_FALSE(HasFailure()) << "drive C could not be cleared\n" << threatFilesPresent();
    program_.emplace(startOn(), programToStart());
    ASSERT_FALSE(HasFailure()) << "the program did not start";
}

void ProgramTest::TearDown() {
    if (program_) {
        if (HasFailure()) std::cout << program_->describe() << std::endl;
        EXPECT_LE(program_->mostBoxesAtOnce(), 1) << "two message boxes of the program were open at once";
        program_.reset();
    }
    clearThreatPaths();
}

::testing::AssertionResult sameLines(const char* actualExpr, const char* expectedExpr,
                                     const std::vector<std::wstring>& actual,
                                     const std::vector<std::wstring>& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    auto show = [](const std::vector<std::wstring>& lines) {
        std::string out;
        for (const auto& line : lines) {
            out += ' ';
            out += inQuotes(line);
        }
        return out.empty() ? " (nothing)" : out;
    };
    return ::testing::AssertionFailure() << actualExpr << " is" << show(actual) << "\n"
                                         << expectedExpr << " is" << show(expected);
}

::testing::AssertionResult sameText(const char* actualExpr, const char* expectedExpr, std::wstring_view actual,
                                    std::wstring_view expected) {
    return sameLines(actualExpr, expectedExpr, {std::wstring(actual)}, {std::wstring(expected)});
}

}  // namespace dva::e2e
