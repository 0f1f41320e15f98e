#include "main_window.h"


#include <dbt.h>

#include "control_ids.h"
#include "fonts.h"
#include "palette.h"
#include "product_config.h"
#include "resource_ids.h"
#include "window_classes.h"

namespace dva {
namespace {

using looks::linkOnBlack;
using looks::whiteOnBlack;

constexpr UINT kScanInterval = 1000;
// How long the support window's own copy is given to close before it is ended.
constexpr DWORD kSupportCopyCloseWithin = 3000;

constexpr WindowSpec kMainSpec{
    .className = window_class::kMain,
    .caption = DVA_PRODUCT_NAME,
    .style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
    .exStyle = WS_EX_APPWINDOW,
    .clientWidth = 6105,
    .clientHeight = 5595,
    .back = palette::kBlack,
    .placement = Placement::CenterScreen,
    .font = &fonts::kDefault,
    .icon = IDI_APP,
};

constexpr ControlSpec kMainControls[] = {
    {ids::main::banner, ControlKind::Picture, nullptr, 0, 0, 6135, 1935, 6, {.bitmap = IDB_BANNER}},
    {ids::main::about, ControlKind::Label, L"Hakkında", 5160, 2040, 975, 255, 7,
     linkOnBlack(&fonts::kSansSerifBold), {.link = true}},
    {ids::main::scan, ControlKind::Button, L"Tara ve Temizle", 120, 2520, 1695, 495, 0},
    {ids::main::options, ControlKind::Label, L"Seçenekler", 2760, 2520, 975, 255, 10,
     whiteOnBlack(&fonts::kTahomaBold)},
    {ids::main::protection, ControlKind::CheckBox, L"Anlık korumayı Aktifleştir", 2280, 2880, 2055, 255, 8,
     whiteOnBlack(), {.ticked = true}},
    {ids::main::detections, ControlKind::Button, L"Virus tespitleri", 120, 3120, 1695, 495, 1},
    {ids::main::updateCheck, ControlKind::CheckBox, L"Açılışta Güncellemeleri kontrol et", 2280, 3240, 2655, 255, 9,
     whiteOnBlack(), {.disabled = true}},
    {ids::main::autorun, ControlKind::CheckBox, L"AutoRun Koruması Aktifleştir", 2280, 3600, 2415, 255, 3,
     whiteOnBlack()},
    {ids::main::reportThreat, ControlKind::Button, L"Yeni Tehdit Bildir", 120, 3720, 1695, 495, 2},
    {ids::main::webShield, ControlKind::CheckBox, L"Web Kalkanını Aktifleştir", 2280, 3960, 2295, 255, 11,
     whiteOnBlack(), {.disabled = true, .ticked = true}},
    {ids::main::update, ControlKind::Button, L"Güncelle!", 120, 4320, 1695, 495, 5},
    {ids::main::support, ControlKind::Button, L"Online Destek", 120, 4920, 1695, 495, 12},
    {ids::main::exit, ControlKind::Button, L"Çıkış", 4320, 4920, 1695, 495, 4},
};

}  // namespace

const Route MainWindow::kRoutes[] = {
    commandRoute<&MainWindow::onAboutClicked>(ids::main::about, STN_CLICKED),
    commandRoute<&MainWindow::onScanClicked>(ids::main::scan, BN_CLICKED),
    commandRoute<&MainWindow::onProtectionSwitched>(ids::main::protection, BN_CLICKED),
    commandRoute<&MainWindow::onDetectionsClicked>(ids::main::detections, BN_CLICKED),
    commandRoute<&MainWindow::onAutoRunSwitched>(ids::main::autorun, BN_CLICKED),
    commandRoute<&MainWindow::onReportThreatClicked>(ids::main::reportThreat, BN_CLICKED),
    commandRoute<&MainWindow::onUpdateClicked>(ids::main::update, BN_CLICKED),
    commandRoute<&MainWindow::onSupportClicked>(ids::main::support, BN_CLICKED),
    commandRoute<&MainWindow::onExitClicked>(ids::main::exit, BN_CLICKED),
    timerRoute<&MainWindow::onTick>(ids::main::scanTimer),
    // The icon's callback, a restart of the shell, a second start of the program, the session's end.
    messageRoute<kIconCallbackMessage, &MainWindow::onIconCallback>(),
    registeredRoute<&NotifyIcon::taskbarCreatedMessage, &MainWindow::onTaskbarCreated>(),
    registeredRoute<&SingleCopy::comeForwardMessage, &MainWindow::onComeForward>(),
    messageRoute<WM_QUERYENDSESSION, &MainWindow::onSessionEnding>(),
    messageRoute<WM_ENDSESSION, &MainWindow::onSessionEnd>(),
    // A stick put in or about to be taken out.
    messageRoute<WM_DEVICECHANGE, &MainWindow::onDeviceChange>(),
};

void MainWindow::create() {
    createFromOrEnd(kMainSpec, kMainControls, kRoutes, L"Ana pencere açılamadı.");
    // Elevated, the window would not hear the shell (a restart, the icon's callback) nor a second
    // start of the program, all of which run with fewer rights. Nothing else is let through: the
    // callback is the program's own message, so no mouse or system message comes in with it.
    allowFromLessPrivileged(
        hwnd(), {NotifyIcon::taskbarCreatedMessage(), kIconCallbackMessage, SingleCopy::comeForwardMessage()},
        changeFilter_);
    setScanTimerEnabled(true);
    notifyIcon_.add(hwnd(), icon());
}

HICON MainWindow::icon() const { return reinterpret_cast<HICON>(GetClassLongPtrW(hwnd(), GCLP_HICON)); }

bool MainWindow::onSessionEnding() { return true; }  // logging off is never refused

void MainWindow::onSessionEnd(bool ending) {
    if (ending) endProgram(L"session-end");
}

// The shell restarted and lost its icons: put ours back so the window can be reached.
void MainWindow::onTaskbarCreated() { notifyIcon_.add(hwnd(), icon()); }

// As a double-click on the icon does, and to the front: the user just started the program again.
void MainWindow::onComeForward() { show(); }

// A double-click or a right press on the icon brings the window back, also from behind others.
void MainWindow::onIconCallback(int event) {
    if (notifyEventShowsWindow(event)) show();
}

void MainWindow::setScanTimerEnabled(bool enabled) {
    if (enabled == scanTimerEnabled_) return;  // enabling a running timer does not restart its interval
    scanTimerEnabled_ = enabled;
    sticks_.setProtecting(enabled);
    if (enabled) {
        setTimer(ids::main::scanTimer, kScanInterval);
    } else {
        killTimer(ids::main::scanTimer);
    }
}

SwitchState MainWindow::switchState(int id) const {
    switch (SendMessageW(control(id), BM_GETCHECK, 0, 0)) {
    case BST_CHECKED: return SwitchState::Ticked;
    case BST_INDETERMINATE: return SwitchState::Grayed;
    default: return SwitchState::Unticked;
    }
}

void MainWindow::onTick() {
    scan_.tick();
    sticks_.tick();
}

void MainWindow::onAutoRunSwitched() {
    const SwitchState state = switchState(ids::main::autorun);
    autorun_.onSwitch(state);
    sticks_.setVaccinating(state == SwitchState::Ticked);
}

// Passed on to the stick watch at once: a box shown here would stop the system's broadcast to
// every other program. Any removal is let go of: nothing the program holds is worth keeping a
// stick in for.
bool MainWindow::onDeviceChange(UINT event, DWORD volumes) {
    if (event == DBT_DEVICEARRIVAL && volumes != 0) sticks_.volumesArrived(volumes);
    if (event == DBT_DEVICEQUERYREMOVE) sticks_.removalAsked();
    return true;
}

void MainWindow::onProtectionSwitched() {
    if (switchState(ids::main::protection) == SwitchState::Ticked) {
        rt_.report({EventKind::ProtectionOn});
        rt_.message(L"Anlık koruma aktifleştirilmiştir!", L"Bilgilendirme", MessageIcon::Information);
        setScanTimerEnabled(true);
    } else {
        rt_.report({EventKind::ProtectionOff});
        rt_.message(L"Anlık koruma pasifleştirilmiştir!", L"Bilgilendirme", MessageIcon::Information);
        setScanTimerEnabled(false);
    }
}

void MainWindow::onScanClicked() {
    detections_.get().show();
    setScanTimerEnabled(true);
}

void MainWindow::onDetectionsClicked() { detections_.get().show(); }

void MainWindow::onReportThreatClicked() {
    rt_.message(L"0.1 Beta sürümde bu özellik yoktur.", L"Bilgi!", MessageIcon::Information);
}

// "Güncelle!": updating is not in this version either, so it gives the same notice.
void MainWindow::onUpdateClicked() { onReportThreatClicked(); }

void MainWindow::onSupportClicked() { links_.showAgreement(); }

void MainWindow::onAboutClicked() { links_.showAbout(); }

void MainWindow::onExitClicked() { endProgram(L"exit"); }

// Takes the icon away first: the shell keeps the icon of an ended process until the pointer
// passes over it. Then ends the process at once, without unwinding: this runs inside a window
// procedure, maybe under a message box's modal loop and with other windows open, where destroying
// the windows whose handlers are on the stack is not safe, and the main window cancels every
// close anyway (closing only hides it). At the end of the session nothing may wait either.
// The support window an elevated program shows runs in a copy of its own, with the user's rights:
// it is closed too, as ending the program closes every window of it. That copy is asked to close
// and waited for a few seconds at most (it closes at once, also when the session ends).
// The end is the event log's last entry, which also gives the log's registration back.
void MainWindow::endProgram(const wchar_t* why) {
    notifyIcon_.remove();
    closeCopiesShowing(window_class::kSupport, kSupportCopyCloseWithin);
    rt_.report({EventKind::ProgramEnded, why});
    ExitProcess(0);
}

bool MainWindow::onClose() { return hideBehindIcon(); }

bool MainWindow::hideBehindIcon() {
    // Closing only hides the window behind its icon; the icon is added again in case the
    // first add failed, so that the hidden window can always be brought back.
    notifyIcon_.add(hwnd(), icon());
    setVisible(false);
    return true;
}

}  // namespace dva
