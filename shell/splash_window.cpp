#include "splash_window.h"

#include "control_ids.h"
#include "main_window.h"
#include "fonts.h"
#include "palette.h"
#include "resource_ids.h"
#include "single_copy.h"
#include "window_classes.h"

namespace dva {
namespace {

// A dialog frame with no caption: no title bar, no buttons, not in the taskbar.
constexpr WindowSpec kSplash{
    .className = window_class::kSplash,
    .caption = L"",
    .style = WS_POPUP | WS_DLGFRAME,
    .exStyle = WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW,
    .clientWidth = 7215,
    .clientHeight = 3000,
    .back = palette::kBlack,
    .placement = Placement::CenterScreen,
    .font = &fonts::kDefault,
    .icon = IDI_APP,
};

constexpr ControlSpec kSplashControls[] = {
    {ids::splash::banner, ControlKind::Picture, nullptr, 480, 0, 6135, 1935, 0, {.bitmap = IDB_BANNER}},
    {ids::splash::name, ControlKind::Label, L"Dravonil Veriz Avize 0.1", 2520, 2160, 2295, 255, 1,
     looks::oneLine(looks::whiteOnBlack(&fonts::kSegoeWestern))},
    {ids::splash::prompt, ControlKind::Label, L"Tıkla ve devam et...", 2760, 2520, 1815, 255, 2,
     looks::oneLine(looks::whiteOnBlack(&fonts::kSegoeTurkish))},
};

}  // namespace

const Route SplashWindow::kRoutes[] = {
    commandRoute<&SplashWindow::onBannerClicked>(ids::splash::banner, STN_CLICKED),
    messageRoute<WM_LBUTTONDOWN, &SplashWindow::onPressed>(),
    messageRoute<WM_LBUTTONUP, &SplashWindow::onReleased>(),
    messageRoute<WM_CHAR, &SplashWindow::onKeyPress>(),
    messageRoute<WM_DESTROY, &SplashWindow::onDestroyed>(),
    registeredRoute<&SingleCopy::comeForwardMessage, &SplashWindow::onComeForward>(),
};

void SplashWindow::create() {
    createFromOrEnd(kSplash, kSplashControls, kRoutes, L"Açılış penceresi açılamadı.");
    // Elevated, the splash would not hear a second start with fewer rights (the sign-in task's
    // copy and a start from the Start menu can differ) asking it to come forward.
    allowFromLessPrivileged(hwnd(), {SingleCopy::comeForwardMessage()}, changeFilter_);
}

// Closed from outside before the main window was shown: no window is left, so the program ends.
void SplashWindow::onDestroyed() {
    if (!handedOver_) PostQuitMessage(0);
}

// A click on the background: the button went down and came up on it.
void SplashWindow::onPressed() { pressed_ = true; }
void SplashWindow::onReleased() {
    if (std::exchange(pressed_, false)) onClick();
}

// A second start of the program before the hand-over brings the splash forward.
void SplashWindow::onComeForward() { show(); }

void SplashWindow::onClick() { handOver(); }
void SplashWindow::onKeyPress() { handOver(); }
void SplashWindow::onBannerClicked() { handOver(); }

void SplashWindow::handOver() {
    if (handedOver_) return;
    handedOver_ = true;
    mainWindow_.get().show();
    close();
}

}  // namespace dva
