// Work another thread hands to the windows' thread: the stick watch's boxes, list lines and
// event-log entries belong there, with the other windows of the program, and its file work
// belongs off it.
#pragma once

#include <windows.h>

#include <functional>

#include "runtime.h"

namespace dva {

// A message-only window of the thread that makes it: call() runs the work on that thread and
// returns once it is done (a box stays open as long as the user wants).
class UiThread {
public:
    UiThread();
    ~UiThread();
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    // From another thread: false when the windows' thread could not take it (its window is gone).
    bool call(const std::function<void()>& work) const;

private:
    HWND window_ = nullptr;
};

// The engine's port for a check that runs on another thread: what the user sees and the event
// log go through the windows' thread; the rest is the same port's.
class UiThreadRuntime final : public Runtime, public DetectionSink {
public:
    UiThreadRuntime(const UiThread& ui, Runtime& rt, DetectionSink& detections) : ui_(ui), rt_(rt), detections_(detections) {}

    void message(std::wstring_view text, std::wstring_view title, MessageIcon icon) override;
    bool runtimeErrorReportOpen() const override;
    std::wstring errorReason(std::uint32_t code) override { return rt_.errorReason(code); }
    Presence probe(std::wstring_view path) override { return rt_.probe(path); }
    OpResult clearReadOnly(std::wstring_view path) override { return rt_.clearReadOnly(path); }
    OpResult deleteFile(std::wstring_view path) override { return rt_.deleteFile(path); }
    OpResult makeFolder(std::wstring_view path) override { return rt_.makeFolder(path); }
    OpResult runCommandLine(std::wstring_view line, unsigned waitMs, bool inBackground) override;
    std::wstring systemFolder() override { return rt_.systemFolder(); }
    std::uint64_t nowMs() override { return rt_.nowMs(); }
    void report(const Event& event) override;
    void append(std::wstring_view path) override;

private:
    const UiThread& ui_;
    Runtime& rt_;
    DetectionSink& detections_;
};

}  // namespace dva
