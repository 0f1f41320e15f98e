#pragma once

#include "runtime.h"
#include "window.h"

namespace dva {

// Form3, "Dravonil Veriz Avize Hakkında": who and what the program is, with a link label that
// opens the product home page in the web browser.
class Form3 final : public Window {
public:
    explicit Form3(Runtime& rt) : rt_(rt) {}

    void load();  // creates the window hidden

private:
    static const CommandRow kCommands[];
    void Label1_Click();

    Runtime& rt_;
};

}  // namespace dva
