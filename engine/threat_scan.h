// The threat scan: one pass over the known threat table per tick of the main window's timer.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "paths_in_hand.h"
#include "runtime.h"

namespace dva {

struct ThreatEntry;

class ThreatScan {
public:
    // `elsewhere`: the paths other handlers are dealing with, which the passes leave alone.
    ThreatScan(Runtime& rt, DetectionSink& detections, const PathsInHand* elsewhere = nullptr)
        : rt_(rt), detections_(detections), elsewhere_(elsewhere) {}

    // One tick of the scan timer: runs a pass unless a pass is still under way (one of its own
    // boxes, a threat alert or its error box, is open, or a kill command is waited for while the
    // window keeps working) or the run-time error report is open; the tick is then skipped, so a
    // new alert never stacks on the scan's open one. Boxes opened by others do not hold it back.
    void tick();

    // One pass over the table: each present file is reported, listed and deleted in turn; a path
    // another handler holds is left for it.
    void pass();

private:
    // Starts the entry's kill command and waits for it; returns the time it was started.
    std::uint64_t kill(const ThreatEntry& entry, bool quiet);

    Runtime& rt_;
    DetectionSink& detections_;
    const PathsInHand* elsewhere_;
    bool passing_ = false;
    // Files whose delete failed and that have stayed present since: retried quietly. Each maps
    // to when its kill command was last started.
    std::map<std::wstring, std::uint64_t, std::less<>> stuck_;
};

}  // namespace dva
