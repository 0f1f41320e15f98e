// The program's entries in the Windows event log: the Application log, the source named as the
// product, whose message table is linked into the .exe (event_messages.mc).
#pragma once

#include <windows.h>

#include <string>

#include "events.h"
#include "product_config.h"

namespace dva {

inline constexpr wchar_t kEventSource[] = DVA_PRODUCT_NAME;  // the setup registers it by the same name

// The system calls the log is written through; a test records them instead.
struct EventLogCalls {
    decltype(&RegisterEventSourceW) registerSource = &RegisterEventSourceW;
    decltype(&ReportEventW) report = &ReportEventW;
    decltype(&DeregisterEventSource) deregister = &DeregisterEventSource;
};

// The event type Windows shows as the entry's level.
WORD eventType(EventLevel level);

// Registers the source on the first entry and keeps it for the next ones; the program's end
// ("ended") is the last entry and gives the registration back, as does the destructor. A log
// that cannot be opened or written is ignored: protection goes on, and nothing is shown.
class EventLog {
public:
    explicit EventLog(const EventLogCalls& calls = {}) : calls_(calls) {}
    ~EventLog() { close(); }
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // The insertion strings are the subject, then for the kinds that carry an error its number
    // in decimal and the system's text for it (`reason`).
    void write(const Event& event, const std::wstring& reason);
    void close();

private:
    EventLogCalls calls_;
    HANDLE source_ = nullptr;
    bool failed_ = false;  // registration failed once: not tried again
};

}  // namespace dva
