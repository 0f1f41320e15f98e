// AutoRun protection: the main window's switch "AutoRun Koruması Aktifleştir" replaces a root
// "C:\AutoRun.inf" file by a folder of that name (ticked), or removes such a file when the protection is switched off.
#pragma once

#include "runtime.h"

namespace dva {

class AutoRunProtection {
public:
    AutoRunProtection(Runtime& rt, DetectionSink& detections) : rt_(rt), detections_(detections) {}

    // A click on the switch, after it has taken its new value: 0 unticked, 1 ticked, 2 grayed.
    // Acts once; nothing watches the root afterwards.
    void onSwitch(int value);

private:
    void protect();
    void release();
    // Removes the root file, logging the outcome; a failure is also told in a box. True if it is gone.
    bool remove(Presence seen);

    Runtime& rt_;
    DetectionSink& detections_;
};

}  // namespace dva
