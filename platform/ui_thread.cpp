#include "ui_thread.h"

#include "win32_notices.h"

namespace dva {
namespace {

constexpr UINT kRunWork = WM_APP + 1;
constexpr wchar_t kClass[] = L"DravonilVerizAvize.UiThread";
constexpr DWORD kBoxWaitStep = 250;

LRESULT CALLBACK workProc(HWND h, UINT message, WPARAM wp, LPARAM lp) {
    if (message == kRunWork) {
        (*reinterpret_cast<const std::function<void()>*>(lp))();
        return 1;
    }
    return DefWindowProcW(h, message, wp, lp);
}

}  // namespace

UiThread::UiThread() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = workProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassExW(&wc);
    window_ = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

UiThread::~UiThread() {
    if (window_) DestroyWindow(window_);
}

bool UiThread::call(const std::function<void()>& work) const {
    return window_ && SendMessageW(window_, kRunWork, 0, reinterpret_cast<LPARAM>(&work)) == 1;
}

// A stick's box never stacks on another box of the program (a drive C alert, a notice): it waits
// on this thread until none is open, and the run-time error report is closed.
void UiThreadRuntime::message(std::wstring_view text, std::wstring_view title, MessageIcon icon) {
    bool shown = false;
    while (true) {
        const bool taken = ui_.call([&] {
            if (messageBoxesOpen() > 0 || rt_.runtimeErrorReportOpen()) return;
            rt_.message(text, title, icon);
            shown = true;
        });
        if (shown || !taken) return;  // shown, or the windows are gone
        Sleep(kBoxWaitStep);
    }
}

bool UiThreadRuntime::runtimeErrorReportOpen() const {
    bool open = false;
    ui_.call([&] { open = rt_.runtimeErrorReportOpen(); });
    return open;
}

OpResult UiThreadRuntime::runCommandLine(std::wstring_view line, unsigned waitMs, bool inBackground) {
    OpResult result;
    ui_.call([&] { result = rt_.runCommandLine(line, waitMs, inBackground); });
    return result;
}

void UiThreadRuntime::report(const Event& event) {
    ui_.call([&] { rt_.report(event); });
}

void UiThreadRuntime::append(std::wstring_view path) {
    ui_.call([&] { detections_.append(path); });
}

}  // namespace dva
