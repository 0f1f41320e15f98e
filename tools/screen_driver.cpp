// Finds windows on one Wine desktop and drives them by posted messages.
//   drive DESKTOP list
//   drive DESKTOP wait    CLASS TITLE SECONDS            a visible top-level window appears
//   drive DESKTOP gone    CLASS TITLE SECONDS            no such visible window is left
//   drive DESKTOP click   CLASS TITLE CAPTION            clicks the window's child CAPTION (button or label)
//   drive DESKTOP close   CLASS TITLE                    WM_CLOSE to the window
//   drive DESKTOP type    CLASS TITLE                    a typed character (WM_CHAR ' ') to it
//   drive DESKTOP first   SECONDS CLASS TITLE [CLASS TITLE...]
//                                                        waits for any of the windows and
//                                                        prints the number of the first found
//   drive DESKTOP dismiss CLASS TITLE SECONDS PATH...     OK every such message box until no
//                                                        PATH exists and no box is left open
//   drive DESKTOP lines   CLASS TITLE COUNT SECONDS      its first list box holds COUNT lines
//   drive DESKTOP text    CLASS TITLE                    prints the window's labels, one a line
//   drive DESKTOP rect    CLASS TITLE                    prints WxH+X+Y of the window on the desktop
//   drive DESKTOP hold    PATH SECONDS                   creates the file if need be and keeps it
//                                                        open for SECONDS without delete sharing,
//                                                        as a program using it would
// CLASS or TITLE "*" matches any. Exit code 0 when done, 1 on a timeout (after printing what
// was seen), 2 on a usage error.
#include <windows.h>

#include <string>
#include <vector>

#include "window_driving.h"

namespace {

using namespace dva::drive;

void write(const std::wstring& text) {
    const std::string bytes = utf8(text);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

struct Match { std::wstring cls, title; };

bool matches(HWND w, const Match& m) {
    return IsWindowVisible(w) && (m.cls == L"*" || className(w) == m.cls) &&
           (m.title == L"*" || windowText(w) == m.title);
}

std::vector<HWND> topLevel(const Match& m) {
    std::vector<HWND> found;
    for (HWND w : topWindows())
        if (matches(w, m)) found.push_back(w);
    return found;
}

void listWindows() {
    write(L"visible windows:\n");
    for (HWND w : topLevel({L"*", L"*"})) {
        write(L"  [" + className(w) + L"] \"" + windowText(w) + L"\"\n");
        for (HWND c : childWindows(w))
            write(L"      [" + className(c) + L"] \"" + windowText(c) + L"\"\n");
    }
}

// The lines of the window's first list box.
std::vector<std::wstring> listLines(HWND w) {
    for (HWND c : childWindows(w))
        if (_wcsicmp(className(c).c_str(), L"ListBox") == 0) return listBoxLines(c);
    return {};
}

bool isLabel(HWND w) { return _wcsicmp(className(w).c_str(), L"Static") == 0; }

// Polls until done() or the deadline.
template <class F> bool poll(double seconds, F done) {
    return waitFor(done, Ms(static_cast<long long>(seconds * 1000)));
}

int usage() {
    write(L"usage: drive DESKTOP list|first|wait|gone|click|type|close|dismiss|lines|text|rect|hold ...\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return usage();
    // The program runs on the virtual desktop; window searches only see the thread's desktop.
    if (HDESK d = OpenDesktopW(argv[1], 0, FALSE, GENERIC_ALL)) SetThreadDesktop(d);
    const std::wstring cmd = argv[2];
    if (cmd == L"list") { listWindows(); return 0; }
    if (cmd == L"first" && argc >= 6 && argc % 2 == 0) {
        int found = 0;
        const bool ok = poll(_wtof(argv[3]), [&] {
            for (int i = 4; i + 1 < argc && !found; i += 2)
                if (!topLevel({argv[i], argv[i + 1]}).empty()) found = (i - 4) / 2 + 1;
            return found != 0;
        });
        if (ok) { write(std::to_wstring(found) + L"\n"); return 0; }
        write(L"none of the windows appeared\n");
        listWindows();
        return 1;
    }
    if (cmd == L"hold" && argc == 5) {
        // Read and write sharing only: a delete of the file fails while it is held. Made here, it
        // is held from its first moment, so no scan can delete it before.
        HANDLE h = CreateFileW(argv[3], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            write(std::wstring(L"cannot open ") + argv[3] + L" (error " + std::to_wstring(GetLastError()) + L")\n");
            return 1;
        }
        Sleep(DWORD(_wtof(argv[4]) * 1000));
        CloseHandle(h);
        return 0;
    }
    if (argc < 5) return usage();
    const Match m{argv[3], argv[4]};
    const std::wstring what = L"[" + m.cls + L"] \"" + m.title + L"\"";

    if (cmd == L"wait" && argc == 6) {
        if (poll(_wtof(argv[5]), [&] { return !topLevel(m).empty(); })) return 0;
        write(L"no window " + what + L" appeared\n");
        listWindows();
        return 1;
    }
    if (cmd == L"gone" && argc == 6) {
        if (poll(_wtof(argv[5]), [&] { return topLevel(m).empty(); })) return 0;
        write(L"window " + what + L" is still open\n");
        return 1;
    }
    if (cmd == L"click" && argc == 6) {
        for (HWND w : topLevel(m))
            for (HWND c : childWindows(w))
                if (windowText(c) == argv[5]) {
                    if (isLabel(c)) {
                        postLeftClick(c, 2, 2);  // a label: a press and release on it
                    } else {
                        postButtonClick(c);
                    }
                    return 0;
                }
        write(std::wstring(L"no control \"") + argv[5] + L"\" in a window " + what + L"\n");
        listWindows();
        return 1;
    }
    if (cmd == L"type" && argc == 5) {
        const auto found = topLevel(m);
        for (HWND w : found) postChar(w, L' ');
        if (!found.empty()) return 0;
        write(L"no window " + what + L" to type to\n");
        listWindows();
        return 1;
    }
    if (cmd == L"close" && argc == 5) {
        const auto found = topLevel(m);
        for (HWND w : found) PostMessageW(w, WM_CLOSE, 0, 0);
        if (!found.empty()) return 0;
        write(L"no window " + what + L" to close\n");
        return 1;
    }
    if (cmd == L"dismiss" && argc >= 6) {
        int dismissed = 0;
        ULONGLONG quietSince = 0;
        const bool ok = poll(_wtof(argv[5]), [&] {
            const auto boxes = topLevel(m);
            for (HWND b : boxes) answerOk(b);
            dismissed += int(boxes.size());
            bool filesLeft = false;
            for (int i = 6; i < argc; ++i)
                filesLeft = filesLeft || GetFileAttributesW(argv[i]) != INVALID_FILE_ATTRIBUTES;
            if (!boxes.empty() || filesLeft) { quietSince = 0; return false; }
            // Quiet for half a second: no pass that is under way raises one more box.
            if (quietSince == 0) quietSince = GetTickCount64();
            return GetTickCount64() - quietSince >= 500;
        });
        write(L"dismissed " + std::to_wstring(dismissed) + L" message box(es) " + what + L"\n");
        if (ok) return 0;
        write(L"files or boxes left:\n");
        for (int i = 6; i < argc; ++i)
            if (GetFileAttributesW(argv[i]) != INVALID_FILE_ATTRIBUTES) write(std::wstring(L"  ") + argv[i] + L"\n");
        listWindows();
        return 1;
    }
    if (cmd == L"text" && argc == 5) {
        const auto found = topLevel(m);
        if (found.empty()) {
            write(L"no window " + what + L"\n");
            return 1;
        }
        for (HWND c : childWindows(found.front()))
            if (isLabel(c) && !windowText(c).empty()) write(windowText(c) + L"\n");
        return 0;
    }
    if (cmd == L"rect" && argc == 5) {
        const auto found = topLevel(m);
        RECT r{};
        if (found.empty() || !GetWindowRect(found.front(), &r)) {
            write(L"no window " + what + L"\n");
            return 1;
        }
        write(std::to_wstring(r.right - r.left) + L"x" + std::to_wstring(r.bottom - r.top) + L"+" +
              std::to_wstring(r.left) + L"+" + std::to_wstring(r.top) + L"\n");
        return 0;
    }
    if (cmd == L"lines" && argc == 7) {
        const size_t want = size_t(_wtoi(argv[5]));
        std::vector<std::wstring> lines;
        const bool ok = poll(_wtof(argv[6]), [&] {
            const auto found = topLevel(m);
            lines = found.empty() ? std::vector<std::wstring>{} : listLines(found.front());
            return lines.size() == want;
        });
        write(L"list of " + what + L" holds " + std::to_wstring(lines.size()) + L" line(s):\n");
        for (const auto& l : lines) write(L"  " + l + L"\n");
        return ok ? 0 : 1;
    }
    return usage();
}
