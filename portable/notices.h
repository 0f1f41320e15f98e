// What a window that only tells the user something needs from the system: a box, the system's
// description of an error, and whether the run-time error report is open. The engine's port
// (engine/port/runtime.h) takes these three too; the about, agreement and support windows take
// nothing more. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "number_text.h"

namespace dva {

// Message box icons, numbered as the system numbers them.
enum class MessageIcon : unsigned { Error = 16, Warning = 48, Information = 64 };

class Notices {
public:
    virtual ~Notices() = default;

    // Modal to the whole program and brought to the foreground; returns once it is closed.
    virtual void message(std::wstring_view text, std::wstring_view title, MessageIcon icon) = 0;
    // True while the run-time error report is open: the program ends once it is closed, and its
    // modal loop still runs timers, so nothing may be scanned behind it. The boxes the engine
    // opens itself are the engine's own to count.
    virtual bool runtimeErrorReportOpen() const = 0;
    // The system's own description of an error code, in the user's language, on one line.
    virtual std::wstring errorReason(std::uint32_t code) = 0;
};

// A COM result (an HRESULT, taken as its 32 bits) as the program's boxes show it: the system's
// description, then the code in hexadecimal.
inline std::wstring resultText(Notices& notices, std::uint32_t hresult) {
    return notices.errorReason(hresult) + L" (" + hexCodeText(hresult) + L")";
}

}  // namespace dva
