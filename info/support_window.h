#pragma once

#include <string>

#include "com.h"
#include "notices.h"
#include "window.h"

namespace dva {

// SupportWindow, "Online MSN Destek": the online support page in an embedded web browser, which stays
// blank until "Bağlan!" loads the page.
class SupportWindow final : public Window {
public:
    explicit SupportWindow(Notices& notices) : notices_(notices) {}

    void create();  // creates the window hidden, with its browser control if the system has one

    // Keys in the page go to the browser control first; Tab past its last link, and keys it
    // leaves, go on to the window (out to "Bağlan!").
    bool translateControlKey(MSG& msg) override { return offerKeyToControl(browser_.get(), browserHost_, msg); }

private:
    static const Route kRoutes[];
    void onArranged() override { placeBrowser(); }
    void onConnectClicked();
    void onDestroyed();

    HRESULT createBrowser();
    void placeBrowser();
    HRESULT navigate(const wchar_t* url);

    Notices& notices_;
    HWND browserHost_ = nullptr;  // the control's site window, a child destroyed with this one
    ComRef<IDispatch> browser_;   // the control's dispatch interface
    HRESULT browserError_ = S_OK; // why the control could not be made
};

}  // namespace dva
