#include "message_filter.h"

namespace dva {

ChangeFilterFn systemChangeFilter() {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<ChangeFilterFn>(
                        reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilterEx")))
                  : nullptr;
}

void allowFromLessPrivileged(HWND window, std::initializer_list<UINT> messages, ChangeFilterFn change) {
    if (!change) return;
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW
    for (const UINT msg : messages) {
        if (msg) change(window, msg, kAllow, nullptr);  // a failure only keeps that message out
    }
}

}  // namespace dva
