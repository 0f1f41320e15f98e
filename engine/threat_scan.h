// The threat scan: one pass over the known threat table per tick of the main window's timer.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "runtime.h"

namespace dva {

struct ThreatEntry;

class ThreatScan {
public:
    ThreatScan(Runtime& rt, DetectionSink& detections) : rt_(rt), detections_(detections) {}

    // One tick of the scan timer: runs a pass unless a message box of the program is open or a
    // pass is still under way (waiting for a kill command while the window keeps working), in
    // which case the tick is skipped: a new alert must not stack on an open one.
    void tick();

    // One pass over the table: each present file is reported, listed and deleted in turn.
    void pass();

private:
    // Starts the entry's kill command and waits for it; returns the time it was started.
    std::uint64_t kill(const ThreatEntry& entry, bool quiet);

    Runtime& rt_;
    DetectionSink& detections_;
    bool passing_ = false;
    // Files whose delete failed and that have stayed present since: retried quietly. Each maps
    // to when its kill command was last started.
    std::map<std::wstring, std::uint64_t, std::less<>> stuck_;
};

}  // namespace dva
