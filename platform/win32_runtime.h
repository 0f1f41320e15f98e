// The engine's port on Win32: a thin adapter over the rooms that do the work (exact_file,
// command_run, win32_notices, system_folder, event_log).
#pragma once

#include "event_log.h"
#include "runtime.h"

namespace dva {

class Win32Runtime final : public Runtime {
public:
    explicit Win32Runtime(const EventLogCalls& eventLogCalls = {}) : eventLog_(eventLogCalls) {}

    void message(std::wstring_view text, std::wstring_view title, MessageIcon icon) override;
    bool runtimeErrorReportOpen() const override;
    std::wstring errorReason(std::uint32_t code) override;

    Presence probe(std::wstring_view path) override;
    OpResult clearReadOnly(std::wstring_view path) override;
    OpResult deleteFile(std::wstring_view path) override;
    OpResult makeFolder(std::wstring_view path) override;
    OpResult runCommandLine(std::wstring_view line, unsigned waitMs, bool inBackground) override;
    std::wstring systemFolder() override;
    std::uint64_t nowMs() override;
    void report(const Event& event) override;

private:
    EventLog eventLog_;
};

}  // namespace dva
