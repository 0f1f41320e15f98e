#include "support_door.h"

#include <windows.h>

#include <memory>
#include <string>

#include "com.h"
#include "desktop_shell.h"
#include "elevation.h"
#include "handles.h"
#include "single_copy.h"
#include "win32_notices.h"
#include "window.h"
#include "window_classes.h"

namespace dva {

int runSupportCopy() {
    initCommonControls();
    // A second acceptance while the window is open shows the same window.
    if (HWND open = windowOfThisProgram(window_class::kSupport)) {
        if (IsIconic(open)) ShowWindow(open, SW_RESTORE);
        SetForegroundWindow(open);
        return 0;
    }
    OleSession ole;
    ole.ensure();
    MessageLoop loop;
    Win32Notices notices;
    auto window = std::make_unique<SupportWindow>(notices);
    window->onGone([&] {
        loop.retire(std::move(window));
        PostQuitMessage(0);
    });
    window->create();
    window->show();
    return loop.run();
}

void openSupport(Notices& notices, Single<SupportWindow>& inProcess, ShellWindowFinder findShell) {
    if (!runningElevated()) {
        inProcess.get().show();
        return;
    }
    const std::wstring self = thisProgramFile();
    const HRESULT hr = self.empty() ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) : startWithDesktopShellRights(self, kSupportSwitch, processElevated, findShell);
    if (SUCCEEDED(hr)) return;
    notices.message(L"Online destek penceresi açılamadı.\n" + resultText(notices, hr), L"Hata", MessageIcon::Error);
}

}  // namespace dva
