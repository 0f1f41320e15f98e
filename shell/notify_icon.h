#pragma once

#include <windows.h>

#include <cstdint>

#include "notify_record.h"

namespace dva {

using NotifyRecord = NotifyRecordT<std::uintptr_t>;

// The main window's icon in the notification area, through Shell_NotifyIconA.
class NotifyIcon {
public:
    // Fills the record for this window and icon and sends the add request.
    void add(HWND window, HICON icon);
    // Sends the delete request with the record as last filled.
    void remove();

private:
    NotifyRecord record_{};
};

}  // namespace dva
