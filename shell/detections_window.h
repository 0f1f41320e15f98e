#pragma once

#include <string_view>

#include "message_loop.h"
#include "runtime.h"
#include "window.h"

namespace dva {

// DetectionsWindow, "Virus Tespitleri": holds the detection list, newest line last, for as long as it exists.
class DetectionsWindow final : public Window {
public:
    void create();
    void addDetection(std::wstring_view path);

private:
    static const Route kRoutes[];
    void onClearClicked();
    void onCloseClicked();
};

// Appending a detection: refers to DetectionsWindow's list, which creates the window hidden if needed.
class DetectionList final : public DetectionSink {
public:
    explicit DetectionList(Single<DetectionsWindow>& detectionsWindow) : detections_(detectionsWindow) {}
    void append(std::wstring_view path) override { detections_.get().addDetection(path); }

private:
    Single<DetectionsWindow>& detections_;
};

}  // namespace dva
