#include "message_filter.h"

#include "system_function.h"

namespace dva {

ChangeFilterFn systemChangeFilter() {
    ChangeFilterFn change = nullptr;
    lookUp(change, GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilterEx");
    return change;
}

void allowFromLessPrivileged(HWND window, std::initializer_list<UINT> messages, ChangeFilterFn change) {
    if (!change) return;
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW
    for (const UINT msg : messages) {
        if (msg) change(window, msg, kAllow, nullptr);  // a failure only keeps that message out
    }
}

}  // namespace dva
