#pragma once

#include "notices.h"
#include "web_page.h"
#include "window.h"

namespace dva {

// AboutWindow, "Dravonil Veriz Avize Hakkında": who and what the program is, with a link label that
// opens the product home page in the web browser.
class AboutWindow final : public Window {
public:
    AboutWindow(Notices& notices, WebPageOpener& web) : notices_(notices), web_(web) {}

    void create();  // creates the window hidden

private:
    static const Route kRoutes[];
    void onLinkClicked();

    Notices& notices_;
    WebPageOpener& web_;
};

}  // namespace dva
