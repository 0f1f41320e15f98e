#include "win32_notices.h"

#include <windows.h>

#include <atomic>

#include "error_report.h"
#include "handles.h"
#include "number_text.h"
#include "refusals.h"

namespace dva {

namespace {
std::atomic<int> boxesOpen{0};
}  // namespace

int messageBoxesOpen() { return boxesOpen; }

void showMessageBox(std::wstring_view text, std::wstring_view title, MessageIcon icon) {
    ++boxesOpen;
    // Task-modal with no owner: every window of the program is disabled while the box is
    // open, and the box comes forward even when the main window is hidden. The scan timer still
    // ticks under it; which boxes hold the scan back is the engine's to know.
    MessageBoxW(nullptr, std::wstring(text).c_str(), std::wstring(title).c_str(),
                MB_OK | static_cast<UINT>(icon) | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST);
    --boxesOpen;
}

std::wstring errorText(std::uint32_t code) {
    if (const std::wstring_view refusal = refusalText(code); !refusal.empty()) return std::wstring(refusal);
    // The system allocates the text and hands back its address in the buffer argument.
    UniqueLocalMemory buffer;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    std::wstring reason = n && buffer ? std::wstring(static_cast<const wchar_t*>(buffer.get()), n) : std::wstring();
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
        reason.pop_back();
    if (reason.empty()) reason = L"Hata kodu " + decimalText(code);
    return reason;
}

bool Win32Notices::runtimeErrorReportOpen() const { return dva::runtimeErrorReportOpen(); }

}  // namespace dva
