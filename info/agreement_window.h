#pragma once

#include "message_loop.h"
#include "runtime.h"
#include "support_window.h"
#include "window.h"

namespace dva {

// Form5, "!!!  UYARI  !!!": the conduct warning the user accepts before the support window opens.
// Nothing records an acceptance; it is asked for every time.
class Form5 final : public Window {
public:
    Form5(Runtime& rt, Single<Form4>& support) : rt_(rt), support_(support) {}

    void load();  // creates the window hidden

private:
    static const CommandRow kCommands[];
    void Command1_Click();
    void Command2_Click();

    Runtime& rt_;
    Single<Form4>& support_;
};

}  // namespace dva
