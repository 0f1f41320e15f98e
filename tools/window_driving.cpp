#include "window_driving.h"

#include <thread>

namespace dva::drive {

std::string utf8(std::wstring_view text) {
    std::string out(text.size() * 4, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                   static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

bool underWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

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

namespace {
BOOL CALLBACK collect(HWND h, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}
}  // namespace

std::vector<HWND> topWindows() {
    std::vector<HWND> all;
    EnumWindows(collect, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::vector<HWND> childWindows(HWND parent) {
    std::vector<HWND> all;
    EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::vector<HWND> windowsOf(DWORD pid, HWND parent) {
    if (parent) return childWindows(parent);
    std::vector<HWND> found;
    for (HWND h : topWindows())
        if (processOf(h) == pid) found.push_back(h);
    return found;
}

std::optional<LRESULT> ask(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, 3000, &result)) return std::nullopt;
    return static_cast<LRESULT>(result);
}

std::wstring windowText(HWND h) {
    wchar_t buffer[4096] = {};
    if (!ask(h, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer)))
        InternalGetWindowText(h, buffer, static_cast<int>(std::size(buffer)));
    return buffer;
}

std::vector<std::wstring> listBoxLines(HWND list) {
    std::vector<std::wstring> lines;
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

MessageBoxSeen readMessageBox(HWND box) {
    HWND message = GetDlgItem(box, 0xFFFF);
    return {box, windowText(box), message ? windowText(message) : L""};
}

void answerOk(HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); }

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

void postButtonClick(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void postChar(HWND h, wchar_t c) { PostMessageW(h, WM_CHAR, c, 1); }

UINT clickWithMouseAt(HWND h) {
    RECT r{};
    if (!h || !GetWindowRect(h, &r)) return 0;
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
    return SendInput(3, input, sizeof(INPUT));
}

bool waitFor(const std::function<bool()>& condition, Ms within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(Ms{50});
    }
}

std::vector<HWND> wineTrayIcons() {
    std::vector<HWND> icons;
    for (HWND tray = FindWindowExW(nullptr, nullptr, L"__winex11_standalone_tray", nullptr); tray;
         tray = FindWindowExW(nullptr, tray, L"__winex11_standalone_tray", nullptr)) {
        for (HWND icon = FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr); icon;
             icon = FindWindowExW(tray, icon, L"__winex11_tray_icon", nullptr))
            icons.push_back(icon);
    }
    return icons;
}

}  // namespace dva::drive
