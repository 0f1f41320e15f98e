#include "event_log.h"

#include "number_text.h"

namespace dva {

WORD eventType(EventLevel level) {
    return level == EventLevel::Warning ? WORD{EVENTLOG_WARNING_TYPE} : WORD{EVENTLOG_INFORMATION_TYPE};
}

std::vector<std::wstring> insertionStrings(const Event& event, const std::wstring& reason) {
    std::vector<std::wstring> strings;
    if (fieldCount(event.kind) == 0) return strings;
    strings.push_back(event.subject);
    if (carriesError(event.kind)) {
        strings.push_back(decimalText(event.error));
        strings.push_back(reason);
    }
    return strings;
}

void EventLog::write(const Event& event, const std::wstring& reason) {
    if (!source_ && !failed_) {
        // The local computer's log. Without the source's registration (a portable copy) the
        // entries are still written; Event Viewer then shows their strings without the text.
        source_ = calls_.registerSource(nullptr, kEventSource);
        failed_ = source_ == nullptr;
    }
    if (source_) {
        const std::vector<std::wstring> strings = insertionStrings(event, reason);
        std::vector<LPCWSTR> pointers;
        for (const std::wstring& s : strings) pointers.push_back(s.c_str());
        // A failed write is not retried nor told: the log is a record, not part of protection.
        calls_.report(source_, eventType(levelOf(event.kind)), 0, static_cast<DWORD>(event.kind), nullptr,
                      static_cast<WORD>(pointers.size()), 0, pointers.empty() ? nullptr : pointers.data(),
                      nullptr);
    }
    if (event.kind == EventKind::ProgramEnded) close();
}

void EventLog::close() {
    if (source_) calls_.deregister(source_);
    source_ = nullptr;
    failed_ = false;
}

}  // namespace dva
