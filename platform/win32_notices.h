// Notices on Win32: the program's message boxes and the system's descriptions of error codes,
// for the windows that only tell the user something and for the engine's port alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "notices.h"

namespace dva {

// Task-modal with no owner and brought forward, even when the program's windows are hidden.
void showMessageBox(std::wstring_view text, std::wstring_view title, MessageIcon icon);
// How many of those boxes are open now.
int messageBoxesOpen();

// The program's own text for its refusal codes, else the system's description of the code on one
// line, else "Hata kodu <code>".
std::wstring errorText(std::uint32_t code);

class Win32Notices final : public Notices {
public:
    void message(std::wstring_view text, std::wstring_view title, MessageIcon icon) override {
        showMessageBox(text, title, icon);
    }
    bool runtimeErrorReportOpen() const override;
    std::wstring errorReason(std::uint32_t code) override { return errorText(code); }
};

}  // namespace dva
