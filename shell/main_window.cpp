#include "main_window.h"

#include <windowsx.h>

#include "control_ids.h"
#include "fonts.h"
#include "palette.h"
#include "resource_ids.h"

namespace dva {
namespace {

using looks::linkOnBlack;
using looks::whiteOnBlack;

constexpr UINT kTimer1Interval = 1000;

constexpr WindowSpec kForm1{
    .className = L"Form1",
    .caption = L"Dravonil Veriz Avize",
    .style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
    .exStyle = WS_EX_APPWINDOW,
    .clientWidth = 6105,
    .clientHeight = 5595,
    .back = palette::kBlack,
    .placement = Placement::CenterScreen,
    .font = &fonts::kDefault,
    .icon = IDI_APP,
};

constexpr ControlSpec kForm1Controls[] = {
    {ids::Form1Picture1, ControlKind::Picture, nullptr, 0, 0, 6135, 1935, 6, {.bitmap = IDB_BANNER}},
    {ids::Form1Label1, ControlKind::Label, L"Hakkında", 5160, 2040, 975, 255, 7,
     linkOnBlack(&fonts::kSansSerifBold), {.link = true}},
    {ids::Form1Command1, ControlKind::Button, L"Tara ve Temizle", 120, 2520, 1695, 495, 0},
    {ids::Form1Label2, ControlKind::Label, L"Seçenekler", 2760, 2520, 975, 255, 10,
     whiteOnBlack(&fonts::kTahomaBold)},
    {ids::Form1Check2, ControlKind::CheckBox, L"Anlık korumayı Aktifleştir", 2280, 2880, 2055, 255, 8,
     whiteOnBlack(), {.ticked = true}},
    {ids::Form1Command2, ControlKind::Button, L"Virus tespitleri", 120, 3120, 1695, 495, 1},
    {ids::Form1Check3, ControlKind::CheckBox, L"Açılışta Güncellemeleri kontrol et", 2280, 3240, 2655, 255, 9,
     whiteOnBlack(), {.disabled = true}},
    {ids::Form1Check1, ControlKind::CheckBox, L"AutoRun Koruması Aktifleştir", 2280, 3600, 2415, 255, 3,
     whiteOnBlack()},
    {ids::Form1Command3, ControlKind::Button, L"Yeni Tehdit Bildir", 120, 3720, 1695, 495, 2},
    {ids::Form1Check4, ControlKind::CheckBox, L"Web Kalkanını Aktifleştir", 2280, 3960, 2295, 255, 11,
     whiteOnBlack(), {.disabled = true, .ticked = true}},
    {ids::Form1Command5, ControlKind::Button, L"Güncelle!", 120, 4320, 1695, 495, 5},
    {ids::Form1Command6, ControlKind::Button, L"Online Destek", 120, 4920, 1695, 495, 12},
    {ids::Form1Command4, ControlKind::Button, L"Çıkış", 4320, 4920, 1695, 495, 4},
};

}  // namespace

const CommandRow Form1::kCommands[] = {
    {ids::Form1Label1, STN_CLICKED, on<&Form1::Label1_Click>},
    {ids::Form1Command1, BN_CLICKED, on<&Form1::Command1_Click>},
    {ids::Form1Check2, BN_CLICKED, on<&Form1::Check2_Click>},
    {ids::Form1Command2, BN_CLICKED, on<&Form1::Command2_Click>},
    {ids::Form1Check1, BN_CLICKED, on<&Form1::Check1_Click>},
    {ids::Form1Command3, BN_CLICKED, on<&Form1::Command3_Click>},
    {ids::Form1Command5, BN_CLICKED, on<&Form1::Command5_Click>},
    {ids::Form1Command6, BN_CLICKED, on<&Form1::Command6_Click>},
    {ids::Form1Command4, BN_CLICKED, on<&Form1::Command4_Click>},
};

void Form1::load() {
    createOrEnd(kForm1, kForm1Controls, kCommands, L"Ana pencere açılamadı.");
    // Elevated, the window would not hear the shell (a restart, the icon's events) nor a second
    // start of the program, all of which run with fewer rights. Nothing else is let through.
    allowFromLessPrivileged(hwnd(), {taskbarCreated_, kNotifyCallback, comeForward_}, changeFilter_);
    Form_Load();
}

HICON Form1::icon() const { return reinterpret_cast<HICON>(GetClassLongPtrW(hwnd(), GCLP_HICON)); }

void Form1::Form_Load() {
    setTimer1Enabled(true);
    notifyIcon_.add(hwnd(), icon());
}

LRESULT Form1::onMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_MOUSEMOVE) {
        Form_MouseMove(GET_X_LPARAM(lp));
        return 0;
    }
    if (msg == taskbarCreated_ && taskbarCreated_) {
        // The shell restarted and lost its icons: put ours back so the window can be reached.
        notifyIcon_.add(hwnd(), icon());
        return 0;
    }
    if (msg == comeForward_ && comeForward_) {
        show();  // as a double-click on the icon does, and to the front: the user just started it
        return 0;
    }
    if (msg == WM_QUERYENDSESSION) return TRUE;  // logging off is never refused
    if (msg == WM_ENDSESSION) {
        if (wp) endProgram();
        return 0;
    }
    return Window::onMessage(msg, wp, lp);
}

void Form1::Form_MouseMove(int xPixels) {
    // The icon's reports come as mouse moves; X in twips as the window measures it.
    const float twipsPerPixel = 1440.0f / static_cast<float>(dpi());
    const float x = static_cast<float>(xPixels) * twipsPerPixel;
    if (!notifyEventShowsWindow(notifyEventFromMouseX(x, twipsPerPixel))) return;
    // Showing an already visible window changes nothing: a pointer that crosses column 515 of
    // the window itself at a high dpi must not pull it forward.
    if (!IsWindowVisible(hwnd())) show();
}

void Form1::setTimer1Enabled(bool enabled) {
    if (enabled == timer1Enabled_) return;  // enabling a running timer does not restart its interval
    timer1Enabled_ = enabled;
    if (enabled) {
        setTimer(ids::Form1Timer1, kTimer1Interval);
    } else {
        killTimer(ids::Form1Timer1);
    }
}

int Form1::checkValue(int id) const {
    switch (SendMessageW(control(id), BM_GETCHECK, 0, 0)) {
    case BST_CHECKED: return 1;
    case BST_INDETERMINATE: return 2;
    default: return 0;
    }
}

void Form1::onTimer(UINT_PTR id) {
    if (id == ids::Form1Timer1) Timer1_Timer();
}

void Form1::Timer1_Timer() { scan_.tick(); }

void Form1::Check1_Click() { autorun_.onSwitch(checkValue(ids::Form1Check1)); }

void Form1::Check2_Click() {
    if (checkValue(ids::Form1Check2) == 1) {
        rt_.message(L"Anlık koruma aktifleştirilmiştir!", L"Bilgilendirme", MessageIcon::Information);
        setTimer1Enabled(true);
    } else {
        rt_.message(L"Anlık koruma pasifleştirilmiştir!", L"Bilgilendirme", MessageIcon::Information);
        setTimer1Enabled(false);
    }
}

void Form1::Command1_Click() {
    detections_.get().show();
    setTimer1Enabled(true);
}

void Form1::Command2_Click() { detections_.get().show(); }

void Form1::Command3_Click() {
    rt_.message(L"0.1 Beta sürümde bu özellik yoktur.", L"Bilgi!", MessageIcon::Information);
}

// "Güncelle!": updating is not in this version either, so it gives the same notice.
void Form1::Command5_Click() { Command3_Click(); }

void Form1::Command6_Click() { links_.showForm5(); }

void Form1::Label1_Click() { links_.showForm3(); }

void Form1::Command4_Click() { endProgram(); }

// Takes the icon away first: the shell keeps the icon of an ended process until the pointer
// passes over it. Then ends the process at once, without unwinding: this runs inside a window
// procedure, maybe under a message box's modal loop and with other windows open, where destroying
// the windows whose handlers are on the stack is not safe, and the main window cancels every
// unload anyway (closing only hides it). At the end of the session nothing may wait either.
void Form1::endProgram() {
    notifyIcon_.remove();
    ExitProcess(0);
}

bool Form1::onUnload() { return Form_Unload(); }

bool Form1::Form_Unload() {
    // Closing only hides the window behind its icon; the icon is added again in case the
    // first add failed, so that the hidden window can always be brought back.
    notifyIcon_.add(hwnd(), icon());
    setVisible(false);
    return true;
}

}  // namespace dva
