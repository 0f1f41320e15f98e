#include "event_log.h"

#include "number_text.h"

namespace dva {

WORD eventType(EventLevel level) {
    return level == EventLevel::Warning ? WORD{EVENTLOG_WARNING_TYPE} : WORD{EVENTLOG_INFORMATION_TYPE};
}

void EventLog::write(const Event& event, const std::wstring& reason) {
    if (!source_ && !failed_) {
        // The local computer's log. Without the source's registration (a portable copy) the
        // entries are still written; Event Viewer then shows their strings without the text.
        source_ = calls_.registerSource(nullptr, kEventSource);
        failed_ = source_ == nullptr;
    }
    if (source_) {
        // %1, then %2 and %3 for the kinds that carry an error, or %2 the detail of the two-field
        // kinds: the first fieldCount of these.
        const std::wstring subject(event.subject), detail(event.detail), number = decimalText(event.error);
        LPCWSTR strings[] = {subject.c_str(), carriesError(event.kind) ? number.c_str() : detail.c_str(), reason.c_str()};
        const auto count = static_cast<WORD>(fieldCount(event.kind));
        // A failed write is not retried nor told: the log is a record, not part of protection.
        calls_.report(source_, eventType(levelOf(event.kind)), 0, static_cast<DWORD>(event.kind), nullptr, count, 0,
                      count ? strings : nullptr, nullptr);
    }
    if (event.kind == EventKind::ProgramEnded) close();
}

void EventLog::close() {
    if (source_) calls_.deregister(source_);
    source_ = nullptr;
    failed_ = false;
}

}  // namespace dva
