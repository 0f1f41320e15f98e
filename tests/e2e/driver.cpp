#include "driver.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "control_ids.h"
#include "known_threats.h"

namespace dva::e2e {
namespace {

std::wstring className(HWND h) {
    wchar_t name[256] = {};
    GetClassNameW(h, name, 256);
    return name;
}

DWORD processOf(HWND h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    return pid;
}

}  // namespace

std::vector<HWND> windowsOf(DWORD pid, HWND parent) {
    std::vector<HWND> all, found;
    const WNDENUMPROC collect = [](HWND h, LPARAM lp) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
        return TRUE;
    };
    parent ? EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&all))
           : EnumWindows(collect, reinterpret_cast<LPARAM>(&all));
    for (HWND h : all)
        if (parent || processOf(h) == pid) found.push_back(h);
    return found;
}

namespace {

// A message to a window of the program, which may hang: nullopt after 3 s.
std::optional<LRESULT> ask(HWND h, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, 3000, &result)) return std::nullopt;
    return static_cast<LRESULT>(result);
}

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

// ---- Wine's notification area ----
// Without an X system tray Wine draws the icons itself: one __winex11_tray_icon child window per
// icon in a __winex11_standalone_tray window of its explorer process.

std::vector<HWND> trayIconWindows() {
    std::vector<HWND> icons;
    for (HWND tray = FindWindowExW(nullptr, nullptr, L"__winex11_standalone_tray", nullptr); tray;
         tray = FindWindowExW(nullptr, tray, L"__winex11_standalone_tray", nullptr)) {
        for (HWND icon = FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr); icon;
             icon = FindWindowExW(tray, icon, L"__winex11_tray_icon", nullptr))
            icons.push_back(icon);
    }
    return icons;
}

// The Wine versions whose private icon record wineTrayIconTip was checked against.
constexpr std::string_view kTrayRecordCheckedWith[] = {"8.0"};

std::string wineVersion() {
    using GetVersion = const char* (*)();  // 64-bit Windows has one calling convention
    const auto get = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    return get ? get() : "";
}

bool trayRecordKnown() {
    static const bool known = [] {
        const std::string version = wineVersion();
        for (std::string_view checked : kTrayRecordCheckedWith) {
            if (version == checked || version.rfind(std::string(checked) + ".", 0) == 0) return true;
        }
        return false;
    }();
    if (!known) {
        // Once per test: the checks that poll for icons call this many times.
        static const ::testing::TestInfo* told = nullptr;
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        if (test != told) {
            told = test;
            ADD_FAILURE() << "the notification-area icons are read from Wine's private record of them, whose layout "
                             "was checked with Wine 8.0 only; this is Wine "
                          << wineVersion()
                          << ". Check that the record still holds the owner window in a pointer-aligned slot with "
                             "the tip as the next text, then add the version to kTrayRecordCheckedWith.";
        }
    }
    return known;
}

// Reads Wine's record of an icon from its explorer process: the icon window's user data is the
// record's address there. The layout is Wine's own, so it is searched: the owner is a
// pointer-aligned slot holding a window handle, the tip the next text. Returns the tip of an icon
// whose owner passes the test, nullopt for another owner's icon, or for a Wine version the layout
// was not checked with (after failing the test with a message saying so).
std::optional<std::wstring> wineTrayIconTip(HWND icon, const std::function<bool(HWND)>& isOwner) {
    if (!trayRecordKnown()) return std::nullopt;
    const auto address = GetWindowLongPtrW(icon, GWLP_USERDATA);
    HANDLE tray = OpenProcess(PROCESS_VM_READ, FALSE, processOf(icon));
    std::vector<unsigned char> record;
    // The record may end close to the end of its page: read less until a read succeeds.
    for (size_t size = 512; address && tray && size >= 64 && record.empty(); size /= 2) {
        std::vector<unsigned char> buffer(size);
        SIZE_T got = 0;
        if (ReadProcessMemory(tray, reinterpret_cast<const void*>(address), buffer.data(), size, &got) && got == size)
            record = std::move(buffer);
    }
    if (tray) CloseHandle(tray);
    for (size_t at = 0; at + sizeof(HWND) <= std::min<size_t>(record.size(), 128); at += sizeof(HWND)) {
        HWND value = nullptr;
        std::memcpy(&value, record.data() + at, sizeof value);
        if (!value || !isOwner(value)) continue;
        // The first run of three or more printable characters ending in NUL.
        std::wstring run;
        for (at += sizeof(HWND); at + 2 <= record.size(); at += 2) {
            wchar_t c = 0;
            std::memcpy(&c, record.data() + at, 2);
            if (c == 0 && run.size() >= 3) return run;
            run = c >= 0x20 && !(c >= 0x7F && c <= 0x9F) ? run + c : L"";
        }
        return L"";
    }
    return std::nullopt;
}

}  // namespace

std::string utf8(std::wstring_view text) {
    std::string out(text.size() * 4, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                   static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

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

std::wstring callsFile(const std::wstring& name) { return L"C:\\" + name + L"-calls.txt"; }

Calls recorderCalls(const std::wstring& name) {
    Calls calls;
    std::ifstream in{std::filesystem::path(callsFile(name))};
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        calls.push_back(line);
    }
    return calls;
}

RegistryValue::RegistryValue(HKEY root, std::wstring key, std::wstring name)
    : root_(root), key_(std::move(key)), name_(std::move(name)) {
    DWORD size = sizeof old_;
    had_ = RegGetValueW(root_, key_.c_str(), name_.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type_, old_, &size) == 0;
    oldSize_ = size;
}

RegistryValue::~RegistryValue() {
    if (had_) {
        RegSetKeyValueW(root_, key_.c_str(), name_.c_str(), type_, old_, oldSize_);
    } else {
        RegDeleteKeyValueW(root_, key_.c_str(), name_.c_str());
    }
}

void RegistryValue::set(DWORD type, const void* data, size_t size) {
    ASSERT_EQ(RegSetKeyValueW(root_, key_.c_str(), name_.c_str(), type, data, static_cast<DWORD>(size)), 0)
        << "could not set " << utf8(key_) << "\\" << utf8(name_);
}

bool underWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
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

DWORD attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }
bool exists(const std::wstring& path) { return attributes(path) != INVALID_FILE_ATTRIBUTES; }

void removePath(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // not read-only, hidden or system
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
    if (exists(path)) ADD_FAILURE() << "could not remove " << utf8(path) << " (" << ignored.message() << ")";
}

void placeFile(const std::wstring& path, DWORD attrs) {
    removePath(path);
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    // Given at creation; Wine still sets them a moment after the file appears.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, CREATE_NEW, attrs ? attrs : FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "could not create " << utf8(path) << " (error " << GetLastError() << ")";
    const char content[] = "not a real threat: a file placed by the end-to-end tests\r\n";
    DWORD written = 0;
    WriteFile(h, content, sizeof content - 1, &written, nullptr);
    CloseHandle(h);
}

std::string threatFilesPresent() {
    std::ostringstream out;
    for (const wchar_t* path : test::kKnownThreats) {
        if (exists(path)) out << "  " << utf8(path) << " (attributes 0x" << std::hex << attributes(path) << ")\n";
    }
    return out.str().empty() ? "  none\n" : out.str();
}

std::shared_ptr<void> holdOpen(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : std::shared_ptr<void>(h, CloseHandle);
}

bool waitFor(const std::function<bool()>& condition, Ms within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(Ms{50});
    }
}

void postLeftClick(HWND h, int x, int y) {
    PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void postMouse(HWND h, std::initializer_list<UINT> messages) {
    for (UINT msg : messages) {
        const WPARAM buttons = msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK ? MK_LBUTTON
                               : msg == WM_RBUTTONDOWN                          ? MK_RBUTTON
                                                                                : 0;
        PostMessageW(h, msg, buttons, MAKELPARAM(4, 4));
    }
}

void clickWithMouse(HWND h) {
    RECT r{};
    ASSERT_TRUE(h && GetWindowRect(h, &r)) << "nothing to click";
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    SetCursorPos(x, y);
    // Every event carries the absolute screen position (0 to 65535 across the screen), so the
    // click lands on this window wherever the pointer was before; the move goes through the input
    // queue first, as on a fresh X display Wine may otherwise press where the pointer was (the
    // middle of the screen, where the splash lies).
    const LONG dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    const LONG dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    INPUT input[3] = {};
    for (INPUT& i : input) {
        i.type = INPUT_MOUSE;
        i.mi.dx = dx;
        i.mi.dy = dy;
    }
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[1].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
    input[2].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;
    EXPECT_EQ(SendInput(3, input, sizeof(INPUT)), 3u) << "SendInput failed (error " << GetLastError() << ")";
}

namespace {
// Starts the program from its own folder, which is also its current folder.
PROCESS_INFORMATION startProgram(const std::wstring& exe) {
    const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\') + 1);
    std::wstring commandLine = L"\"" + exe + L"\"";
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

Program::Program(StartOn startOn, const std::wstring& exe) {
    unmanagedWindowsUnderWine();
    const PROCESS_INFORMATION pi = startProgram(exe);
    if (!pi.hProcess) return;
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;

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
    PostMessageW(h, BM_CLICK, 0, 0);
}

std::vector<HWND> Program::messageBoxes() const {
    const auto boxes = windows(L"#32770");
    mostBoxes_ = std::max(mostBoxes_, static_cast<int>(boxes.size()));
    return boxes;
}

std::wstring Program::text(HWND h) const {
    wchar_t buffer[4096] = {};
    if (!ask(h, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer)))
        InternalGetWindowText(h, buffer, static_cast<int>(std::size(buffer)));
    return buffer;
}

MessageBoxSeen Program::read(HWND box) const {
    HWND message = GetDlgItem(box, 0xFFFF);  // the box's text is its static child 0xFFFF
    return {box, text(box), message ? text(message) : L""};
}

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
    PostMessageW(box.hwnd, WM_COMMAND, IDOK, 0);
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
    std::vector<std::wstring> lines;
    HWND list = detectionsWindow() ? GetDlgItem(detectionsWindow(), ids::detections::list) : nullptr;
    const auto count = list ? ask(list, LB_GETCOUNT) : std::nullopt;
    for (WPARAM i = 0; count && i < static_cast<WPARAM>(*count); ++i) {
        wchar_t line[1024] = {};
        const auto length = ask(list, LB_GETTEXTLEN, i);
        if (!length || *length < 0 || *length >= 1024 || !ask(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line)))
            break;
        lines.emplace_back(line);
    }
    return lines;
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

size_t Program::allTrayIcons() { return trayIconWindows().size(); }

size_t Program::allMessageBoxes() {
    size_t n = 0;
    for (HWND h = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); h; h = FindWindowExW(nullptr, h, L"#32770", nullptr))
        n += IsWindowVisible(h) != FALSE;
    return n;
}

OtherStart startAgain(Ms within) {
    OtherStart seen;
    const PROCESS_INFORMATION pi = startProgram(programFile());
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
    for (HWND icon : trayIconWindows()) {
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
    out << "\nnotification icons: " << trayIconWindows().size() << " in all, of this program:";
    for (const auto& icon : trayIcons()) out << " " << inQuotes(icon.tip);
    out << "\nthreat files present:\n" << threatFilesPresent();
    return out.str();
}

static void clearThreatPaths() {
    for (const wchar_t* path : test::kKnownThreats) removePath(path);
}

void ProgramTest::SetUp() {
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
