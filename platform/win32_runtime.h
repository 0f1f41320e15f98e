// The runtime services on Win32: files, message boxes, processes and web pages.
#pragma once

#include "event_log.h"
#include "runtime.h"
#include "web_page.h"

namespace dva {

class Win32Runtime final : public Runtime, public WebPageOpener {
public:
    explicit Win32Runtime(const EventLogCalls& eventLogCalls = {}) : eventLog_(eventLogCalls) {}

    Presence probe(std::wstring_view path) override;
    void message(std::wstring_view text, std::wstring_view title, MessageIcon icon) override;
    bool runtimeErrorReportOpen() const override;
    OpResult clearReadOnly(std::wstring_view path) override;
    OpResult deleteFile(std::wstring_view path) override;
    OpResult makeFolder(std::wstring_view path) override;
    OpResult runCommandLine(std::wstring_view line, unsigned waitMs, bool inBackground) override;
    OpResult openWebPage(std::wstring_view browserPath, std::wstring_view address) override;
    std::wstring systemFolder() override;
    std::uint64_t nowMs() override;
    std::wstring errorReason(std::uint32_t code) override;
    void report(const Event& event) override;

private:
    EventLog eventLog_;
};

}  // namespace dva
