#pragma once

#include <functional>

#include "autorun_protection.h"
#include "detections_window.h"
#include "message_filter.h"
#include "message_loop.h"
#include "notify_icon.h"
#include "runtime.h"
#include "single_copy.h"
#include "stick_watch.h"
#include "threat_scan.h"
#include "window.h"

namespace dva {

// The windows of other parts that the main window opens; app/main.cpp supplies them.
struct MainWindowLinks {
    std::function<void()> showAbout;  // "Hakkında": the about window
    std::function<void()> showAgreement;  // "Online Destek": the support agreement
};

// MainWindow, "Dravonil Veriz Avize": the control panel. Its timer drives the threat scan; its
// switches and buttons turn protection on and off and open the other windows.
class MainWindow final : public Window {
public:
    MainWindow(Runtime& rt, ThreatScan& scan, AutoRunProtection& autorun, StickWatch& sticks, Single<DetectionsWindow>& detections,
               MainWindowLinks links, ChangeFilterFn changeFilter = systemChangeFilter())
        : rt_(rt), scan_(scan), autorun_(autorun), sticks_(sticks), detections_(detections), links_(std::move(links)),
          changeFilter_(changeFilter) {}

    void create();  // creates the window hidden, starts the scan timer and adds the icon

private:
    static const Route kRoutes[];
    bool onClose() override;

    bool hideBehindIcon();
    void onIconCallback(int event);
    void onTaskbarCreated();
    void onComeForward();
    bool onSessionEnding();
    void onSessionEnd(bool ending);
    void onTick();
    bool onDeviceChange(UINT event, DWORD volumes);
    void onAutoRunSwitched();
    void onProtectionSwitched();
    void onScanClicked();
    void onDetectionsClicked();
    void onReportThreatClicked();
    void onExitClicked();
    void onUpdateClicked();
    void onSupportClicked();
    void onAboutClicked();

    // `why` is logged with the end: "exit" (the exit command) or "session-end".
    [[noreturn]] void endProgram(const wchar_t* why);
    void setScanTimerEnabled(bool enabled);
    HICON icon() const;
    SwitchState switchState(int id) const;

    Runtime& rt_;
    ThreatScan& scan_;
    AutoRunProtection& autorun_;
    StickWatch& sticks_;
    Single<DetectionsWindow>& detections_;
    MainWindowLinks links_;
    ChangeFilterFn changeFilter_;
    bool scanTimerEnabled_ = false;
    NotifyIcon notifyIcon_;
};

}  // namespace dva
