// WinMain: the one place that wires the program's parts together.
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "autorun_protection.h"
#include "detections_window.h"
#include "main_window.h"
#include "message_loop.h"
#include "splash_window.h"
#include "threat_scan.h"
#include "win32_runtime.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    dva::MessageLoop loop;
    dva::Win32Runtime runtime;
    dva::Single<dva::Form2> form2(loop, [] { return std::make_unique<dva::Form2>(); });
    dva::DetectionList detections(form2);
    dva::ThreatScan scan(runtime, detections);
    dva::AutoRunProtection autorun(runtime, detections);
    dva::Single<dva::Form1> form1(
        loop, [&] { return std::make_unique<dva::Form1>(runtime, scan, autorun, form2); });

    dva::Single<dva::FrmSplash> splash(loop, [&] { return std::make_unique<dva::FrmSplash>(form1); });

    splash.get().show();
    return loop.run();
}
