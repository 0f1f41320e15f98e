#pragma once

#include "message_loop.h"
#include "runtime.h"
#include "support_window.h"
#include "window.h"

namespace dva {

// AgreementWindow, "!!!  UYARI  !!!": the conduct warning the user accepts before the support window opens.
// Nothing records an acceptance; it is asked for every time.
class AgreementWindow final : public Window {
public:
    AgreementWindow(Runtime& rt, Single<SupportWindow>& support) : rt_(rt), support_(support) {}

    void load();  // creates the window hidden

private:
    static const CommandRow kCommands[];
    void onAcceptClicked();
    void onDeclineClicked();

    Runtime& rt_;
    Single<SupportWindow>& support_;
};

}  // namespace dva
