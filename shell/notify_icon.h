#pragma once

#include <windows.h>

#include <cstdint>

#include "notify_record.h"
#include "routes.h"

namespace dva {

using NotifyRecord = NotifyRecordT<std::uintptr_t>;

// The icon's callback reaches its handler as the mouse message over the icon.
template <>
struct Crack<kIconCallbackMessage> {
    static std::tuple<int> args(WPARAM, LPARAM lp) {
        return {notifyEventFromCallback(static_cast<std::uintptr_t>(lp))};
    }
};

// The main window's icon in the notification area, through Shell_NotifyIconA. Its owner
// removes it explicitly when the program ends at once, and its destructor removes it otherwise.
class NotifyIcon {
public:
    NotifyIcon() = default;
    NotifyIcon(const NotifyIcon&) = delete;
    NotifyIcon& operator=(const NotifyIcon&) = delete;
    ~NotifyIcon() { remove(); }

    // Fills the record for this window and icon and sends the add request.
    void add(HWND window, HICON icon);
    // Sends the delete request with the record as last filled; once only, and only after an add.
    void remove();

    // The message the shell sends every top-level window when it starts again and has lost the
    // icons ("TaskbarCreated"); 0 if the name could not be registered.
    static UINT taskbarCreatedMessage();

private:
    NotifyRecord record_{};
};

}  // namespace dva
