// The notification-area record as Shell_NotifyIconA takes it in its first layout, and the
// decoding of the icon's reports. Portable, so both are unit-tested on any machine.
#pragma once

#include <cstdint>
#include <cstring>

#include "product_config.h"

namespace dva {

// Handle is a pointer-sized integer: 4 bytes on 32-bit Windows (an 88-byte record), 8 bytes
// on 64-bit Windows (104 bytes: the handles are 8-byte aligned).
template <class Handle>
struct NotifyRecordT {
    std::uint32_t size;
    Handle window;
    std::uint32_t id;
    std::uint32_t flags;
    std::uint32_t callbackMessage;
    Handle icon;
    char tip[64];
};

inline constexpr std::uint32_t kNotifyIconId = 1;
inline constexpr std::uint32_t kNotifyFlags = 7;          // message + icon + tip
// The icon's callback message: one of the program's own (WM_APP + 1). Not a message the system
// or another program already gives a meaning, such as a mouse move, so that letting it through to
// an elevated window lets nothing else through with it.
inline constexpr std::uint32_t kIconCallbackMessage = 0x8000 + 1;
inline constexpr std::uint32_t kNotifyAdd = 0;
inline constexpr std::uint32_t kNotifyDelete = 2;
inline constexpr char kNotifyTip[] = DVA_PRODUCT_NAME_A;

template <class Handle>
NotifyRecordT<Handle> makeNotifyRecord(Handle window, Handle icon) {
    NotifyRecordT<Handle> r;
    std::memset(&r, 0, sizeof r);
    r.size = sizeof r;
    r.window = window;
    r.id = kNotifyIconId;
    r.flags = kNotifyFlags;
    r.callbackMessage = kIconCallbackMessage;
    r.icon = icon;
    // The title, one NUL, then blanks to the end of the 64-character field.
    std::memset(r.tip, ' ', sizeof r.tip);
    std::memcpy(r.tip, kNotifyTip, sizeof kNotifyTip);
    return r;
}

// Mouse messages the icon reports that bring the main window back.
inline constexpr int kLeftDoubleClick = 515;
inline constexpr int kRightButtonDown = 516;

// The icon's report: the mouse message over the icon is the low word of the callback's lParam
// (the high word is empty, or holds the icon's id on newer shells).
inline int notifyEventFromCallback(std::uintptr_t lParam) { return static_cast<int>(lParam & 0xFFFFu); }

inline bool notifyEventShowsWindow(int event) { return event == kLeftDoubleClick || event == kRightButtonDown; }

}  // namespace dva
