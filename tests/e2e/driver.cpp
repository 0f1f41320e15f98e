#include "driver.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <sstream>
#include <thread>

#include "control_ids.h"
#include "known_threats.h"

namespace dva::e2e {
namespace {

constexpr Ms kPoll{50};
constexpr UINT kAnswerTimeoutMs = 3000;  // for messages sent to the program's windows
constexpr Ms kStartWithin{30000};        // a cold Wine start is slow

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

std::vector<HWND> topWindowsOf(DWORD pid) {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{pid, {}};
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(lp);
            if (processOf(h) == s.pid) s.found.push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(
        parent,
        [](HWND h, LPARAM lp) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::optional<LRESULT> ask(HWND h, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &result)) return std::nullopt;
    return static_cast<LRESULT>(result);
}

std::string inQuotes(std::wstring_view text) {
    std::string out = "\"";
    for (char c : utf8(text)) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// Creates each missing folder along the path, like "mkdir -p".
void makeFolders(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3);; at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
        if (at == std::wstring::npos) break;
    }
}

// Xvfb has no window manager, yet Wine hands top-level windows to one by default and, each time
// such a window closes, waits two seconds for the manager that never answers. Every message box
// would cost that. Wine's own setting turns this off for the programs started afterwards in this
// prefix; on Windows there is nothing to do.
void unmanagedWindowsUnderWine() {
    if (!underWine()) return;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    const wchar_t no[] = L"N";
    RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(no), sizeof no);
    RegCloseKey(key);
}

// ---- Wine's notification area ---------------------------------------------------------------------
//
// When X offers no system tray (Xvfb has none), Wine shows the notification area as a top-level
// window of class __winex11_standalone_tray, owned by its explorer process, with one child window
// of class __winex11_tray_icon per icon; deleting an icon destroys its window. Each icon window
// keeps, as its user data, the address of Wine's record of the icon inside that process: the
// values a program handed over with Shell_NotifyIcon, among them the owner window and the tip.
// The record's layout is Wine's own, so it is searched instead of read at fixed offsets: the owner
// is a pointer-aligned slot that holds a window handle, the tip the first run of text after it.

constexpr size_t kIconRecordBytes = 512;

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

std::vector<unsigned char> iconRecord(HWND icon) {
    const auto address = GetWindowLongPtrW(icon, GWLP_USERDATA);
    HANDLE tray = OpenProcess(PROCESS_VM_READ, FALSE, processOf(icon));
    std::vector<unsigned char> record;
    if (!address || !tray) {
        if (tray) CloseHandle(tray);
        return record;
    }
    // The record may end close to the end of its page: read less until a read succeeds.
    for (size_t size = kIconRecordBytes; size >= 64 && record.empty(); size /= 2) {
        std::vector<unsigned char> buffer(size);
        SIZE_T got = 0;
        if (ReadProcessMemory(tray, reinterpret_cast<const void*>(address), buffer.data(), size, &got) && got == size)
            record = std::move(buffer);
    }
    CloseHandle(tray);
    return record;
}

// The offset of the first pointer-aligned slot that satisfies the test, or npos.
size_t findHandleSlot(const std::vector<unsigned char>& record, const std::function<bool(HWND)>& isOwner) {
    for (size_t at = 0; at + sizeof(HWND) <= std::min<size_t>(record.size(), 128); at += sizeof(HWND)) {
        HWND value = nullptr;
        std::memcpy(&value, record.data() + at, sizeof value);
        if (value && isOwner(value)) return at;
    }
    return std::string::npos;
}

// The first text of three or more printable characters ending in NUL at or after the offset.
std::wstring firstText(const std::vector<unsigned char>& record, size_t from) {
    std::wstring run;
    for (size_t at = from; at + 2 <= record.size(); at += 2) {
        wchar_t c = 0;
        std::memcpy(&c, record.data() + at, 2);
        if (c == 0 && run.size() >= 3) return run;
        const bool printable = c >= 0x20 && !(c >= 0x7F && c <= 0x9F);
        if (printable) {
            run += c;
        } else {
            run.clear();
        }
    }
    return {};
}

}  // namespace

bool underWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void postLeftClick(HWND h, int x, int y) {
    const LPARAM at = MAKELPARAM(x, y);
    PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(h, WM_LBUTTONUP, 0, at);
}

void postMouse(HWND h, std::initializer_list<UINT> messages) {
    RECT r{};
    GetClientRect(h, &r);
    const LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
    for (UINT msg : messages) {
        WPARAM buttons = 0;
        if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) buttons = MK_LBUTTON;
        if (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONDBLCLK) buttons = MK_RBUTTON;
        if (msg == WM_MBUTTONDOWN || msg == WM_MBUTTONDBLCLK) buttons = MK_MBUTTON;
        PostMessageW(h, msg, buttons, at);
    }
}

std::string utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// ---- drive C ----------------------------------------------------------------------------------

std::wstring binDir() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir = self;
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

DWORD attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool exists(const std::wstring& path) { return attributes(path) != INVALID_FILE_ATTRIBUTES; }

void removePath(const std::wstring& path) {
    const DWORD a = attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(path.c_str(), a & FILE_ATTRIBUTE_DIRECTORY ? 0 : FILE_ATTRIBUTE_NORMAL);
    if (a & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name != L"." && name != L"..") removePath(path + L"\\" + name);
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
        RemoveDirectoryW(path.c_str());
    } else {
        DeleteFileW(path.c_str());
    }
    if (exists(path)) ADD_FAILURE() << "could not remove " << utf8(path) << " (error " << GetLastError() << ")";
}

void clearThreatPaths() {
    for (const wchar_t* path : kKnownThreats) removePath(path);
    removePath(L"C:\\AutoRun.inf");
}

void placeFile(const std::wstring& path, DWORD attrs) {
    removePath(path);
    const std::wstring parent = path.substr(0, path.find_last_of(L'\\'));
    if (parent.size() > 2 && !exists(parent)) makeFolders(parent);
    // The attributes are given at creation so that the program never sees the file without them.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, CREATE_NEW, attrs ? attrs : FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "could not create " << utf8(path) << " (error " << GetLastError() << ")";
    const char content[] = "not a real threat: a file placed by the end-to-end tests\r\n";
    DWORD written = 0;
    WriteFile(h, content, sizeof content - 1, &written, nullptr);
    CloseHandle(h);
}

void placeFolder(const std::wstring& path) {
    removePath(path);
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr))
        << "could not create folder " << utf8(path) << " (error " << GetLastError() << ")";
}

std::string threatFilesPresent() {
    std::string out;
    for (const wchar_t* path : kKnownThreats) {
        const DWORD a = attributes(path);
        if (a == INVALID_FILE_ATTRIBUTES) continue;
        out += "  " + utf8(path) + " (attributes 0x";
        std::ostringstream hex;
        hex << std::hex << a;
        out += hex.str() + ")\n";
    }
    return out.empty() ? "  none\n" : out;
}

bool waitFor(const std::function<bool()>& condition, Ms within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPoll);
    }
}

// ---- the program -------------------------------------------------------------------------------

Program::Program(StartOn startOn) { start(startOn); }

Program::~Program() {
    if (!process_) return;
    if (alive()) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
}

void Program::start(StartOn startOn) {
    unmanagedWindowsUnderWine();
    const std::wstring exe = binDir() + L"Dravonil Veriz Avize.exe";
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, binDir().c_str(), &si,
                        &pi)) {
        ADD_FAILURE() << "could not start " << utf8(exe) << " (error " << GetLastError() << ")";
        return;
    }
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;

    // The program opens either on its splash window, which hands over to the main window on a
    // click, or directly on the main window.
    auto mainVisible = [&] {
        HWND f = form1();
        return f && IsWindowVisible(f);
    };
    HWND splash = nullptr;
    const bool up = waitFor(
        [&] {
            splash = topWindow(L"frmSplash");
            return (splash && IsWindowVisible(splash)) || mainVisible() || !alive();
        },
        kStartWithin);
    if (!up || !alive()) {
        ADD_FAILURE() << "neither the splash window nor the main window appeared\n" << describe();
        return;
    }
    if (startOn == StartOn::Splash) {
        if (!splash || !IsWindowVisible(splash))
            ADD_FAILURE() << "the program did not open on its splash window\n" << describe();
        return;
    }
    if (mainVisible()) return;
    // A click on the splash background (away from its controls) shows the main window. It is
    // repeated in case the first one came before the window was ready for it.
    for (int attempt = 0; attempt < 5 && !mainVisible(); ++attempt) {
        if (HWND s = topWindow(L"frmSplash")) postLeftClick(s, 10, 10);
        waitFor(mainVisible, Ms{2000});
    }
    if (!mainVisible()) ADD_FAILURE() << "the main window did not appear after a click on the splash window\n" << describe();
}

bool Program::alive() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

std::optional<DWORD> Program::waitForExit(Ms within) const {
    if (!process_ || WaitForSingleObject(process_, static_cast<DWORD>(within.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

HWND Program::topWindow(const wchar_t* name) const {
    for (HWND h : topWindowsOf(pid_)) {
        if (className(h) == name) return h;
    }
    return nullptr;
}

HWND Program::form1() const {
    HWND h = topWindow(L"Form1");
    if (h) mainSeen_ = h;
    return h;
}

std::vector<TrayIcon> Program::trayIcons() const {
    form1();  // remember the main window while it exists
    const auto ours = [&](HWND owner) {
        return owner == mainSeen_ || (IsWindow(owner) && processOf(owner) == pid_);
    };
    std::vector<TrayIcon> icons;
    for (HWND icon : trayIconWindows()) {
        const auto record = iconRecord(icon);
        const size_t owner = findHandleSlot(record, ours);
        if (owner == std::string::npos) continue;
        icons.push_back({icon, firstText(record, owner + sizeof(HWND))});
    }
    return icons;
}

bool Program::waitForTrayIcons(size_t count, Ms within) const {
    if (waitFor([&] { return trayIcons().size() == count; }, within)) return true;
    ADD_FAILURE() << "the program did not come to have " << count << " icon(s) in the notification area\n"
                  << describe();
    return false;
}

HWND Program::control(HWND parent, int id) const { return parent ? GetDlgItem(parent, id) : nullptr; }

HWND Program::mainControl(int id) const {
    HWND h = control(form1(), id);
    if (!h) ADD_FAILURE() << "the main window has no control " << id << "\n" << describe();
    return h;
}

void Program::click(HWND h) const {
    if (!h) {
        ADD_FAILURE() << "nothing to click";
        return;
    }
    PostMessageW(h, BM_CLICK, 0, 0);
}

void Program::clickMain(int id) const { click(mainControl(id)); }

void Program::clickDetections(int id) const {
    HWND h = control(form2(), id);
    if (!h) {
        ADD_FAILURE() << "the detections window or its control " << id << " is missing\n" << describe();
        return;
    }
    click(h);
}

void Program::clickWithMouse(HWND h) const {
    RECT r{};
    if (!h || !GetWindowRect(h, &r)) {
        ADD_FAILURE() << "nothing to click";
        return;
    }
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    if (SendInput(2, input, sizeof(INPUT)) != 2) ADD_FAILURE() << "SendInput failed (error " << GetLastError() << ")";
}

std::vector<HWND> Program::messageBoxes() const {
    std::vector<HWND> boxes;
    for (HWND h : topWindowsOf(pid_)) {
        if (className(h) == L"#32770" && IsWindowVisible(h)) boxes.push_back(h);
    }
    mostBoxes_ = std::max(mostBoxes_, static_cast<int>(boxes.size()));
    return boxes;
}

std::wstring Program::text(HWND h) const {
    if (const auto length = ask(h, WM_GETTEXTLENGTH)) {
        std::wstring buffer(static_cast<size_t>(*length) + 1, L'\0');
        if (const auto got = ask(h, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()))) {
            buffer.resize(static_cast<size_t>(*got));
            return buffer;
        }
    }
    wchar_t buffer[1024] = {};
    InternalGetWindowText(h, buffer, 1024);
    return buffer;
}

MessageBoxSeen Program::read(HWND box) const {
    MessageBoxSeen seen{box, text(box), {}};
    // The box's text is its static child with the id 0xFFFF.
    if (HWND message = GetDlgItem(box, 0xFFFF)) seen.text = text(message);
    return seen;
}

std::optional<MessageBoxSeen> Program::waitForMessageBox(Ms within) const {
    HWND found = nullptr;
    waitFor(
        [&] {
            const auto boxes = messageBoxes();
            if (!boxes.empty()) found = boxes.front();
            return found || !alive();
        },
        within);
    if (!found) {
        ADD_FAILURE() << "no message box appeared within " << within.count() << " ms\n" << describe();
        return std::nullopt;
    }
    return read(found);
}

void Program::close(const MessageBoxSeen& box) const {
    PostMessageW(box.hwnd, WM_COMMAND, IDOK, 0);
    if (!waitFor([&] { return !IsWindow(box.hwnd) || !IsWindowVisible(box.hwnd); }, kReactWithin))
        ADD_FAILURE() << "the message box " << inQuotes(box.title) << " did not close on OK\n" << describe();
}

bool Program::expectBox(std::wstring_view title, std::wstring_view text, Ms within) const {
    const auto box = waitForMessageBox(within);
    if (!box) return false;
    const bool titleOk = box->title == title, textOk = box->text == text;
    EXPECT_TEXT(box->title, title) << "a message box with an unexpected title";
    EXPECT_TEXT(box->text, text) << "a message box with an unexpected text";
    close(*box);
    return titleOk && textOk;
}

bool Program::expectAlert(Ms within) const {
    return expectBox(L"Virüs Bulundu!", L"Sisteminizde virus tespit edildi!", within);
}

bool Program::expectNoMessageBoxFor(Ms span) const {
    HWND found = nullptr;
    waitFor(
        [&] {
            const auto boxes = messageBoxes();
            if (!boxes.empty()) found = boxes.front();
            return found != nullptr;
        },
        span);
    if (!found) return true;
    const MessageBoxSeen seen = read(found);
    ADD_FAILURE() << "an unexpected message box appeared: title " << inQuotes(seen.title) << ", text "
                  << inQuotes(seen.text) << "\n"
                  << describe();
    close(seen);
    return false;
}

std::vector<std::wstring> Program::listLines() const {
    std::vector<std::wstring> lines;
    HWND list = control(form2(), ids::Form2List1);
    if (!list) return lines;
    const auto count = ask(list, LB_GETCOUNT);
    if (!count || *count < 0) return lines;
    for (LRESULT i = 0; i < *count; ++i) {
        const auto length = ask(list, LB_GETTEXTLEN, static_cast<WPARAM>(i));
        if (!length || *length < 0) break;
        std::wstring line(static_cast<size_t>(*length) + 1, L'\0');
        const auto got = ask(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line.data()));
        if (!got || *got < 0) break;
        line.resize(static_cast<size_t>(*got));
        lines.push_back(std::move(line));
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

std::optional<DWORD> Program::exitByCommand() {
    clickMain(ids::Form1Command4);
    return waitForExit(Ms{10000});
}

std::string Program::describe() const {
    std::ostringstream out;
    out << "--- what the program shows (process " << pid_ << ", " << (alive() ? "running" : "ended") << ")\n";
    if (!alive() && process_) {
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        out << "exit code " << code << "\n";
    }
    for (HWND h : topWindowsOf(pid_)) {
        RECT client{};
        GetClientRect(h, &client);
        out << "window " << utf8(className(h)) << " " << inQuotes(text(h)) << (IsWindowVisible(h) ? " visible" : " hidden")
            << (IsWindowEnabled(h) ? "" : " disabled") << " client " << client.right << "x" << client.bottom << "\n";
        for (HWND c : childrenOf(h)) {
            out << "  " << utf8(className(c)) << " id " << GetDlgCtrlID(c) << " " << inQuotes(text(c))
                << (IsWindowVisible(c) ? "" : " hidden") << (IsWindowEnabled(c) ? "" : " disabled") << "\n";
        }
    }
    out << "detection list:";
    const auto lines = listLines();
    if (lines.empty()) out << " (empty or no detections window)";
    for (const auto& line : lines) out << "\n  " << inQuotes(line);
    out << "\nnotification area: " << trayIconWindows().size() << " icon(s), of this program:";
    const auto icons = trayIcons();
    if (icons.empty()) out << " none";
    for (const auto& icon : icons)
        out << "\n  icon window " << icon.window << (IsWindowVisible(icon.window) ? " visible" : " hidden") << " tip "
            << inQuotes(icon.tip);
    out << "\nthreat files present:\n" << threatFilesPresent();
    return out.str();
}

// ---- fixture -----------------------------------------------------------------------------------

void ProgramTest::SetUp() {
    clearThreatPaths();
    ASSERT_FALSE(HasFailure()) << "drive C could not be cleared\n" << threatFilesPresent();
    program_.emplace(startOn());
    ASSERT_FALSE(HasFailure()) << "the program did not start";
}

void ProgramTest::TearDown() {
    if (program_) {
        if (HasFailure()) std::cout << program_->describe() << std::flush;
        // Whatever the case did, the program never stacks one message box on another.
        EXPECT_LE(program_->mostBoxesAtOnce(), 1) << "two message boxes of the program were open at once";
        program_.reset();
    }
    clearThreatPaths();
}

// ---- comparisons -------------------------------------------------------------------------------

::testing::AssertionResult sameText(const char* actualExpr, const char* expectedExpr, std::wstring_view actual,
                                    std::wstring_view expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actualExpr << " is " << inQuotes(actual) << "\n"
                                         << expectedExpr << " is " << inQuotes(expected);
}

::testing::AssertionResult sameLines(const char* actualExpr, const char* expectedExpr,
                                     const std::vector<std::wstring>& actual,
                                     const std::vector<std::wstring>& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    auto show = [](const std::vector<std::wstring>& lines) {
        std::string out = "[";
        for (size_t i = 0; i < lines.size(); ++i) out += (i ? ", " : "") + inQuotes(lines[i]);
        return out + "]";
    };
    return ::testing::AssertionFailure() << actualExpr << " is " << show(actual) << "\n"
                                         << expectedExpr << " is " << show(expected);
}

}  // namespace dva::e2e
