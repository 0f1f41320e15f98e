// The main window as the program wires it, for the cases that drive it inside the test program:
// its engine, the stick watch and the detections window, with the event log's and the message
// filter's calls given by the case.
#pragma once

#include <memory>

#include "autorun_protection.h"
#include "detections_window.h"
#include "main_window.h"
#include "message_loop.h"
#include "quarantine_folder.h"
#include "stick_watch.h"
#include "threat_scan.h"
#include "win32_runtime.h"

namespace dva {

struct NoDetections : DetectionSink {
    void append(std::wstring_view) override {}
};

struct MainWindowParts {
    explicit MainWindowParts(const EventLogCalls& calls = {}, ChangeFilterFn filter = systemChangeFilter())
        : rt(calls), filter(filter) {}

    MessageLoop loop;
    Win32Runtime rt;
    NoDetections sink;
    ThreatScan scan{rt, sink};
    AutoRunProtection autorun{rt, sink};
    Win32StickPort stickPort{quarantineFolder};
    stick::StickCheck stickCheck{rt, sink, stickPort};
    StickWatch sticks{stickCheck, stickPort};
    ChangeFilterFn filter;
    Single<DetectionsWindow> detectionsWindow{loop, [] { return std::make_unique<DetectionsWindow>(); }};
    Single<MainWindow> mainWindow{loop, [this] {
        return std::make_unique<MainWindow>(rt, scan, autorun, sticks, detectionsWindow, MainWindowLinks{}, filter);
    }};
};

}  // namespace dva
