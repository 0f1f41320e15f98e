#pragma once

#include <string>

#include "com.h"
#include "runtime.h"
#include "window.h"

namespace dva {

// Form4, "Online MSN Destek": the online support page in an embedded web browser, which stays
// blank until "Bağlan!" loads the page.
class Form4 final : public Window {
public:
    explicit Form4(Runtime& rt) : rt_(rt) {}

    void load();  // creates the window hidden, with its browser control if the system has one

private:
    static const CommandRow kCommands[];
    LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void Command1_Click();

    HRESULT createWebBrowser1();
    void placeWebBrowser1();
    HRESULT navigate(const wchar_t* url);
    std::wstring describe(HRESULT hr);

    Runtime& rt_;
    HWND webBrowser1Host_ = nullptr;  // the control's site window, a child destroyed with this one
    ComRef<IDispatch> webBrowser1_;   // the control's dispatch interface
    HRESULT webBrowser1Error_ = S_OK; // why the control could not be made
};

}  // namespace dva
