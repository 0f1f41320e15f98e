#include "notify_icon.h"

#include <shellapi.h>

#include <cstddef>

namespace dva {

// The record is the system's first NOTIFYICONDATAA layout, field for field.
static_assert(sizeof(NotifyRecord) == NOTIFYICONDATAA_V1_SIZE);
static_assert(offsetof(NotifyRecord, window) == offsetof(NOTIFYICONDATAA, hWnd));
static_assert(offsetof(NotifyRecord, id) == offsetof(NOTIFYICONDATAA, uID));
static_assert(offsetof(NotifyRecord, flags) == offsetof(NOTIFYICONDATAA, uFlags));
static_assert(offsetof(NotifyRecord, callbackMessage) == offsetof(NOTIFYICONDATAA, uCallbackMessage));
static_assert(offsetof(NotifyRecord, icon) == offsetof(NOTIFYICONDATAA, hIcon));
static_assert(offsetof(NotifyRecord, tip) == offsetof(NOTIFYICONDATAA, szTip));
static_assert(kNotifyFlags == (NIF_MESSAGE | NIF_ICON | NIF_TIP));
static_assert(kIconCallbackMessage == WM_APP + 1 && kNotifyAdd == NIM_ADD && kNotifyDelete == NIM_DELETE);
static_assert(kLeftDoubleClick == WM_LBUTTONDBLCLK && kRightButtonDown == WM_RBUTTONDOWN);
#ifndef _WIN64
static_assert(sizeof(NotifyRecord) == 88);
#endif

namespace {
BOOL send(DWORD request, NotifyRecord& r) {
    return Shell_NotifyIconA(request, reinterpret_cast<NOTIFYICONDATAA*>(&r));
}
}  // namespace

UINT NotifyIcon::taskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

void NotifyIcon::add(HWND window, HICON icon) {
    record_ = makeNotifyRecord(reinterpret_cast<std::uintptr_t>(window), reinterpret_cast<std::uintptr_t>(icon));
    send(kNotifyAdd, record_);  // a failure leaves no icon; the next close of the window tries again
}

void NotifyIcon::remove() {
    if (record_.size == 0) return;  // never added, or removed already
    send(kNotifyDelete, record_);
    record_ = {};
}

}  // namespace dva
