#pragma once

#include "message_filter.h"
#include "message_loop.h"
#include "window.h"

namespace dva {

class MainWindow;  // shown by the hand-over

// The splash window: the window the program opens on. A click on its background or banner, or a typed
// character, shows the main window and closes the splash for good.
class SplashWindow final : public Window {
public:
    explicit SplashWindow(Single<MainWindow>& mainWindow, ChangeFilterFn changeFilter = systemChangeFilter())
        : mainWindow_(mainWindow), changeFilter_(changeFilter) {}
    void create();

    bool wantsDialogKeys() const override { return false; }  // Enter and Esc are typed characters here

private:
    static const Route kRoutes[];

    void onPressed();
    void onReleased();
    void onClick();
    void onKeyPress();
    void onBannerClicked();
    void onComeForward();
    void onDestroyed();
    void handOver();

    Single<MainWindow>& mainWindow_;
    ChangeFilterFn changeFilter_;
    bool pressed_ = false;     // the left button went down on the background
    bool handedOver_ = false;
};

}  // namespace dva
