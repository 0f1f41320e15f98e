#pragma once

#include <functional>

#include "autorun_protection.h"
#include "detections_window.h"
#include "message_filter.h"
#include "message_loop.h"
#include "notify_icon.h"
#include "runtime.h"
#include "single_copy.h"
#include "threat_scan.h"
#include "window.h"

namespace dva {

// The windows of other parts that the main window opens; app/main.cpp supplies them.
struct Form1Links {
    std::function<void()> showForm3;  // "Hakkında": the about window
    std::function<void()> showForm5;  // "Online Destek": the support agreement
};

// Form1, "Dravonil Veriz Avize": the control panel. Its timer drives the threat scan; its
// switches and buttons turn protection on and off and open the other windows.
class Form1 final : public Window {
public:
    Form1(Runtime& rt, ThreatScan& scan, AutoRunProtection& autorun, Single<Form2>& detections, Form1Links links,
          ChangeFilterFn changeFilter = systemChangeFilter())
        : rt_(rt), scan_(scan), autorun_(autorun), detections_(detections), links_(std::move(links)),
          changeFilter_(changeFilter), comeForward_(SingleCopy::comeForwardMessage()) {}

    void load();  // creates the window hidden and runs Form_Load

private:
    static const CommandRow kCommands[];
    LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void onTimer(UINT_PTR id) override;
    bool onUnload() override;

    void Form_Load();
    bool Form_Unload();
    void Form_MouseMove(int xPixels);
    void Timer1_Timer();
    void Check1_Click();
    void Check2_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Label1_Click();

    [[noreturn]] void endProgram();
    void setTimer1Enabled(bool enabled);
    HICON icon() const;
    int checkValue(int id) const;

    Runtime& rt_;
    ThreatScan& scan_;
    AutoRunProtection& autorun_;
    Single<Form2>& detections_;
    Form1Links links_;
    ChangeFilterFn changeFilter_;
    bool timer1Enabled_ = false;
    NotifyIcon notifyIcon_;
    const UINT taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    const UINT comeForward_;  // a second start of the program asks this copy to show itself
};

}  // namespace dva
