// AutoRun protection: the main window's switch "AutoRun Koruması Aktifleştir" replaces a root
// "C:\AutoRun.inf" file by a folder of that name (ticked), or removes such a file when the protection is switched off.
#pragma once

#include "paths_in_hand.h"
#include "runtime.h"

namespace dva {

// A check box's state, as the switch has it after a click.
enum class SwitchState { Unticked, Ticked, Grayed };

class AutoRunProtection {
public:
    // `inHand`: where it holds "C:\AutoRun.inf" while it handles it, for the threat scan to see.
    AutoRunProtection(Runtime& rt, DetectionSink& detections, PathsInHand* inHand = nullptr)
        : rt_(rt), detections_(detections), inHand_(inHand) {}

    // A click on the switch, after it has taken its new state; grayed does nothing. Acts once;
    // nothing watches the root afterwards. While it runs (its boxes open) the path is held, so the
    // threat scan's ticks under its boxes leave the file to it.
    void onSwitch(SwitchState state);

private:
    void protect();
    void release();
    // Removes the root file, logging the outcome; a failure is also told in a box. True if it is gone.
    bool remove(Presence seen);

    Runtime& rt_;
    DetectionSink& detections_;
    PathsInHand* inHand_;
};

}  // namespace dva
