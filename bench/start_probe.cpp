// Run under Wine by scripts/bench; drives the programs whose whole-process figures it takes.
//
//   dva_probe startup ROUNDS PAUSE_MS EXE...
//       starts each EXE in turn, ROUNDS times each (which one goes first rotates from round to
//       round), and prints one line per start: the EXE's place in the list (1, 2, ...) and the
//       milliseconds from process creation to its first visible top-level window. Each started
//       process is ended as soon as its window shows, and the probe waits PAUSE_MS before the
//       next start.
//   dva_probe icon ROUNDS PAUSE_MS COMMAND...
//       the same for starts that show no window: each COMMAND is a whole command line (program
//       and arguments), and the time is taken to its first icon in Wine's notification area.
//   dva_probe handover
//       types a character into the program's splash and waits until the main window shows, as
//       a user's key press would; exits 0 when it did.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "window_classes.h"
#include "window_driving.h"

namespace {

bool hasVisibleWindow(DWORD pid) {
    struct Search {
        DWORD pid;
        bool found;
    } s{pid, false};
    EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(h, &owner);
            if (owner == s.pid && IsWindowVisible(h)) s.found = true;
            return !s.found;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// An icon that was not there before the start (an ended process's icon may stay until the
// pointer passes over it, so the count alone does not tell).
bool hasNewIcon(const std::vector<HWND>& before) {
    for (HWND icon : dva::drive::wineTrayIcons())
        if (std::find(before.begin(), before.end(), icon) == before.end()) return true;
    return false;
}

enum class Until { Window, Icon };

// Milliseconds from creating the process to its first visible window or its first icon;
// negative on failure.
double timeToFirst(std::wstring line, Until until) {
    const std::vector<HWND> iconsBefore = dva::drive::wineTrayIcons();
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER freq, start, now;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    double ms = -1;
    for (;;) {
        const bool shown = until == Until::Window ? hasVisibleWindow(pi.dwProcessId) : hasNewIcon(iconsBefore);
        QueryPerformanceCounter(&now);
        const double spent = static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
        if (shown) {
            ms = spent;
            break;
        }
        if (spent > 20000 || WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
        Sleep(1);
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ms;
}

int startup(int rounds, DWORD pauseMs, int count, wchar_t** exes, Until until) {
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < count; ++k) {
            const int which = (r + k) % count;
            const std::wstring line = until == Until::Window ? L"\"" + std::wstring(exes[which]) + L"\"" : exes[which];
            const double ms = timeToFirst(line, until);
            if (ms < 0) {
                std::fprintf(stderr, "dva_probe: %ls showed no %s\n", exes[which],
                             until == Until::Window ? "window" : "icon");
                return 1;
            }
            std::printf("%d %.1f\n", which + 1, ms);
            std::fflush(stdout);
            Sleep(pauseMs);
        }
    }
    return 0;
}

// The splash is the program's visible window without a caption whose label invites a click.
BOOL CALLBACK typeIntoSplash(HWND h, LPARAM) {
    wchar_t caption[8] = {};
    GetWindowTextW(h, caption, 8);
    if (!IsWindowVisible(h) || caption[0]) return TRUE;
    bool splash = false;
    EnumChildWindows(
        h,
        [](HWND child, LPARAM p) -> BOOL {
            wchar_t text[64] = {};
            GetWindowTextW(child, text, 64);
            if (std::wcscmp(text, L"Tıkla ve devam et...") == 0) *reinterpret_cast<bool*>(p) = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&splash));
    if (splash) PostMessageW(h, WM_CHAR, L'a', 0);
    return TRUE;
}

int handover() {
    for (int attempt = 0; attempt < 400; ++attempt) {  // up to 20 s
        HWND main = FindWindowW(dva::window_class::kMain, L"Dravonil Veriz Avize");
        if (main && IsWindowVisible(main)) return 0;
        EnumWindows(typeIntoSplash, 0);
        Sleep(50);
    }
    std::fprintf(stderr, "dva_probe: the main window did not show\n");
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 5 && std::wcscmp(argv[1], L"startup") == 0)
        return startup(_wtoi(argv[2]), static_cast<DWORD>(_wtoi(argv[3])), argc - 4, argv + 4, Until::Window);
    if (argc >= 5 && std::wcscmp(argv[1], L"icon") == 0)
        return startup(_wtoi(argv[2]), static_cast<DWORD>(_wtoi(argv[3])), argc - 4, argv + 4, Until::Icon);
    if (argc == 2 && std::wcscmp(argv[1], L"handover") == 0) return handover();
    std::fprintf(stderr,
                 "usage: dva_probe startup ROUNDS PAUSE_MS EXE... | dva_probe icon ROUNDS PAUSE_MS COMMAND... | "
                 "dva_probe handover\n");
    return 2;
}
