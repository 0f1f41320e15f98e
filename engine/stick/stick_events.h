// The stick check's own events, PROPOSED: these ids are not yet part of the program's event list
// (engine/port/events.h) nor of its message table; once they join them, this header goes and the
// stick check reports through Runtime::report like every other part. Until then the platform
// writes them to the event log beside the others. Fields in the order of their insertion strings.
#pragma once

#include <cstdint>
#include <string_view>

namespace dva::stick {

enum class StickEventKind : std::uint16_t {
    MovedToQuarantine = 1011,       // information: original path, quarantine file (its SHA-256)
    RestoredFromQuarantine = 1012,  // information: quarantine file, path written
    StickVaccinated = 1013,         // information: drive ("E:")
    LeftAsItIs = 1014,              // information: drive or path, reason (one of the kReason... words)
};

// Why a stick or a file on it was left as it is, as the event's reason field.
inline constexpr std::wstring_view kReasonTooLarge = L"too-large";            // a file over 64 MiB is no worm
inline constexpr std::wstring_view kReasonQuarantineFull = L"quarantine-full"; // past 256 MiB
inline constexpr std::wstring_view kReasonDiskLow = L"disk-low";              // under 1 GiB free
inline constexpr std::wstring_view kReasonRemoved = L"removed";               // pulled out during the check
inline constexpr std::wstring_view kReasonBitLocker = L"bitlocker-to-go";     // a discovery volume
inline constexpr std::wstring_view kReasonHarmlessAutorun = L"harmless-autorun"; // its autorun.inf starts no worm
inline constexpr std::wstring_view kReasonNotWritable = L"not-writable";      // the folder could not be made

struct StickEvent {
    StickEventKind kind;
    std::wstring_view subject;  // %1
    std::wstring_view detail{}; // %2, for the kinds that have one
};

class StickEventSink {
public:
    virtual ~StickEventSink() = default;
    // Never fails as far as the caller can tell, as Runtime::report.
    virtual void report(const StickEvent& event) = 0;
};

}  // namespace dva::stick
