// The threat scan: one pass over the known threat table per tick of the main window's timer.
#pragma once

#include <set>
#include <string>

#include "runtime.h"

namespace dva {

class ThreatScan {
public:
    ThreatScan(Runtime& rt, DetectionSink& detections) : rt_(rt), detections_(detections) {}

    // One tick of the scan timer: runs a pass unless a message box of the program is open,
    // in which case the tick is skipped (a new alert must not stack on an open one).
    void tick();

    // One pass over the table: each present file is reported, listed and deleted in turn.
    void pass();

private:
    Runtime& rt_;
    DetectionSink& detections_;
    // Files whose delete failed and that have stayed present since: retried quietly.
    std::set<std::wstring, std::less<>> stuck_;
};

}  // namespace dva
