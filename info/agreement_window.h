#pragma once

#include <functional>

#include "notices.h"
#include "window.h"

namespace dva {

// AgreementWindow, "!!!  UYARI  !!!": the conduct warning the user accepts before the support window opens.
// Nothing records an acceptance; it is asked for every time.
class AgreementWindow final : public Window {
public:
    // openSupport shows the support window when the user accepts.
    AgreementWindow(Notices& notices, std::function<void()> openSupport)
        : notices_(notices), openSupport_(std::move(openSupport)) {}

    void create();  // creates the window hidden

private:
    static const Route kRoutes[];
    void onAcceptClicked();
    void onDeclineClicked();

    Notices& notices_;
    std::function<void()> openSupport_;
};

}  // namespace dva
