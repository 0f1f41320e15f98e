#pragma once

#include <string_view>

#include "message_loop.h"
#include "runtime.h"
#include "window.h"

namespace dva {

// Form2, "Virus Tespitleri": holds the detection list, newest line last, for as long as it is loaded.
class Form2 final : public Window {
public:
    void load();
    void List1_AddItem(std::wstring_view path);

private:
    static const CommandRow kCommands[];
    void Command1_Click();
    void Command2_Click();
};

// Appending a detection: refers to Form2's list, which loads the window hidden if needed.
class DetectionList final : public DetectionSink {
public:
    explicit DetectionList(Single<Form2>& form2) : form2_(form2) {}
    void append(std::wstring_view path) override { form2_.get().List1_AddItem(path); }

private:
    Single<Form2>& form2_;
};

}  // namespace dva
