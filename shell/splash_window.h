#pragma once

#include "main_window.h"
#include "message_loop.h"
#include "window.h"

namespace dva {

// frmSplash: the window the program opens on. A click on its background or banner, or a typed
// character, shows the main window and closes the splash for good.
class FrmSplash final : public Window {
public:
    explicit FrmSplash(Single<Form1>& form1) : form1_(form1) {}
    void load();

    bool wantsDialogKeys() const override { return false; }  // Enter and Esc are typed characters here

private:
    static const CommandRow kCommands[];
    LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp) override;

    void Form_Click();
    void Form_KeyPress();
    void Picture1_Click();
    void handOver();

    Single<Form1>& form1_;
    bool pressed_ = false;     // the left button went down on the background
    bool handedOver_ = false;
};

}  // namespace dva
