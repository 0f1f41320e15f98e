// What the program writes to the Windows event log (Application log, source "Dravonil Veriz Avize").
// Each kind's value is its event id: the ids are part of the product's interface (administrators
// filter and collect them), so they never change and a retired id is never reused. The texts
// behind them, in Turkish and English, are shell/resources/event_messages.mc; the README lists
// the ids with their fields.
#pragma once

#include <cstdint>
#include <string_view>

#include "start_options.h"  // StartKind: how the program was started

namespace dva {

enum class EventKind : std::uint16_t {
    ThreatDetected = 1000,        // warning: path
    ThreatRemoved = 1001,         // information: path
    ThreatNotRemoved = 1002,      // warning: path, error number, error text
    KillCommandStarted = 1003,    // information: command line
    KillCommandNotStarted = 1004, // warning: command line, error number, error text
    AutoRunFolderMade = 1005,     // information: path
    AutoRunFolderNotMade = 1006,  // warning: path, error number, error text
    ProtectionOn = 1007,          // information: none (switched on by the user)
    ProtectionOff = 1008,         // information: none (switched off by the user)
    ProgramStarted = 1009,        // information: how it was started ("ordinary" or "sign-in")
    ProgramEnded = 1010,          // information: why ("exit" or "session-end")
};

inline constexpr EventKind kAllEventKinds[] = {
    EventKind::ThreatDetected,     EventKind::ThreatRemoved,         EventKind::ThreatNotRemoved,
    EventKind::KillCommandStarted, EventKind::KillCommandNotStarted, EventKind::AutoRunFolderMade,
    EventKind::AutoRunFolderNotMade, EventKind::ProtectionOn,        EventKind::ProtectionOff,
    EventKind::ProgramStarted,     EventKind::ProgramEnded,
};

enum class EventLevel { Information, Warning };

// Detections and failures are warnings; everything else is information.
constexpr EventLevel levelOf(EventKind kind) {
    switch (kind) {
    case EventKind::ThreatDetected:
    case EventKind::ThreatNotRemoved:
    case EventKind::KillCommandNotStarted:
    case EventKind::AutoRunFolderNotMade: return EventLevel::Warning;
    default: return EventLevel::Information;
    }
}

// Whether the event carries an error: its number and the system's text follow the subject as
// insertion strings %2 and %3.
constexpr bool carriesError(EventKind kind) {
    return kind == EventKind::ThreatNotRemoved || kind == EventKind::KillCommandNotStarted ||
           kind == EventKind::AutoRunFolderNotMade;
}

// How many insertion strings the event's message uses (%1 .. %n).
constexpr int fieldCount(EventKind kind) {
    if (carriesError(kind)) return 3;
    return kind == EventKind::ProtectionOn || kind == EventKind::ProtectionOff ? 0 : 1;
}

// Held only for the call that reports it: the subject is not copied.
struct Event {
    EventKind kind;
    std::wstring_view subject{};  // %1: the path, command line, start or end; empty when the kind has none
    std::uint32_t error = 0;      // the system's error code, for the kinds that carry one
};

constexpr Event programStarted(StartKind start) {
    return {EventKind::ProgramStarted, start == StartKind::SignIn ? L"sign-in" : L"ordinary"};
}

}  // namespace dva
