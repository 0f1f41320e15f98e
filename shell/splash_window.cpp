#include "splash_window.h"

#include "control_ids.h"
#include "fonts.h"
#include "palette.h"
#include "resource_ids.h"
#include "single_copy.h"

namespace dva {
namespace {

// A dialog frame with no caption: no title bar, no buttons, not in the taskbar.
constexpr WindowSpec kSplash{
    .className = L"frmSplash",
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
    {ids::SplashPicture1, ControlKind::Picture, nullptr, 480, 0, 6135, 1935, 0, {.bitmap = IDB_BANNER}},
    {ids::SplashLabel4, ControlKind::Label, L"Dravonil Veriz Avize 0.1", 2520, 2160, 2295, 255, 1,
     looks::oneLine(looks::whiteOnBlack(&fonts::kSegoeWestern))},
    {ids::SplashLabel1, ControlKind::Label, L"Tıkla ve devam et...", 2760, 2520, 1815, 255, 2,
     looks::oneLine(looks::whiteOnBlack(&fonts::kSegoeTurkish))},
};

}  // namespace

const CommandRow FrmSplash::kCommands[] = {
    {ids::SplashPicture1, STN_CLICKED, on<&FrmSplash::Picture1_Click>},
};

void FrmSplash::load() {
    createOrEnd(kSplash, kSplashControls, kCommands, L"Açılış penceresi açılamadı.");
}

LRESULT FrmSplash::onMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_LBUTTONDOWN:
        pressed_ = true;
        return 0;
    case WM_LBUTTONUP:
        if (std::exchange(pressed_, false)) Form_Click();
        return 0;
    case WM_CHAR:
        Form_KeyPress();
        return 0;
    case WM_DESTROY:
        // Closed from outside before the main window was shown: no window is left, so the
        // program ends.
        if (!handedOver_) PostQuitMessage(0);
        break;
    default:
        // A second start of the program before the hand-over brings the splash forward.
        if (msg == SingleCopy::comeForwardMessage() && msg) {
            show();
            return 0;
        }
        break;
    }
    return Window::onMessage(msg, wp, lp);
}

void FrmSplash::Form_Click() { handOver(); }
void FrmSplash::Form_KeyPress() { handOver(); }
void FrmSplash::Picture1_Click() { handOver(); }

void FrmSplash::handOver() {
    if (handedOver_) return;
    handedOver_ = true;
    form1_.get().show();
    unload();
}

}  // namespace dva
