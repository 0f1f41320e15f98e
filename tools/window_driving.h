// Driving another program's windows from outside, as a user would: finding the windows of a
// process, asking them for their texts and lists, posting clicks, keys and answers to message
// boxes, and waiting for a condition. The end-to-end tests and the screenshots' window driver both
// use it. It reports nothing itself (no GoogleTest): callers say what failed.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dva::drive {

using Ms = std::chrono::milliseconds;

std::string utf8(std::wstring_view text);
bool underWine();

std::wstring className(HWND h);
DWORD processOf(HWND h);

// Every top-level window, in z-order.
std::vector<HWND> topWindows();
// Every child window of the parent, grandchildren included.
std::vector<HWND> childWindows(HWND parent);
// Top-level windows of the process, or (parent given) all of the parent's child windows.
std::vector<HWND> windowsOf(DWORD pid, HWND parent = nullptr);

// A message to a window of the other program, which may hang: nullopt after 3 s.
std::optional<LRESULT> ask(HWND h, UINT msg, WPARAM wp = 0, LPARAM lp = 0);
// The window's text as it answers WM_GETTEXT, or its caption when it does not answer.
std::wstring windowText(HWND h);
// The lines of a list box, as far as it answers.
std::vector<std::wstring> listBoxLines(HWND list);

// A message box: its caption and its text (the static child 0xFFFF).
struct MessageBoxSeen {
    HWND hwnd;
    std::wstring title, text;
};
MessageBoxSeen readMessageBox(HWND box);
void answerOk(HWND box);  // posts the box's OK

void postLeftClick(HWND h, int x, int y);
// Posts mouse messages with the button flags a real pointer gives them.
void postMouse(HWND h, std::initializer_list<UINT> messages);
void postButtonClick(HWND button);  // BM_CLICK
void postChar(HWND h, wchar_t c);   // a typed character
// A real left click at the middle of the window, through the system's input queue: the number
// of input events the system took (3 when all went in; 0 when the window has no place on screen).
UINT clickWithMouseAt(HWND h);

// Wine's notification area without an X system tray: one __winex11_tray_icon window per icon, in
// __winex11_standalone_tray windows of its desktop process.
std::vector<HWND> wineTrayIcons();

// Polls every 50 ms until the condition holds (true) or `within` has passed (false).
bool waitFor(const std::function<bool()>& condition, Ms within);

}  // namespace dva::drive
