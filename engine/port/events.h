// What the program writes to the Windows event log (Application log, source "Dravonil Veriz Avize").
// Each kind's value is its event id: the ids are part of the product's interface (administrators
// filter and collect them), so they never change and a retired id is never reused. The texts
// behind them, in Turkish and English, are shell/resources/event_messages.mc; the README lists
// the ids with their fields. kEvents below holds each kind's level and field count.
#pragma once

#include <cstdint>
#include <string_view>

#include "start_kind.h"

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
    MovedToQuarantine = 1011,     // information: original path, quarantine file (its SHA-256)
    RestoredFromQuarantine = 1012,// information: quarantine file (its SHA-256), path written
    StickVaccinated = 1013,       // information: drive ("E:")
    LeftAsItIs = 1014,            // information: drive or path, reason (one of the kReason... words)
    MadeVisible = 1015,           // information: path of the item a shortcut worm had hidden
};

enum class EventLevel { Information, Warning };

// What the log knows of each kind: its level (detections and failures are warnings, everything
// else information) and how many insertion strings its message uses (%1 .. %n: the subject, then
// for the failures the error's number and text, or for the stick's events a detail). The one table of these facts: the message table
// (event_messages.mc) is checked against it, and the README lists it.
struct EventInfo {
    EventKind kind;
    EventLevel level;
    int fields;
};

inline constexpr EventInfo kEvents[] = {
    {EventKind::ThreatDetected, EventLevel::Warning, 1},
    {EventKind::ThreatRemoved, EventLevel::Information, 1},
    {EventKind::ThreatNotRemoved, EventLevel::Warning, 3},
    {EventKind::KillCommandStarted, EventLevel::Information, 1},
    {EventKind::KillCommandNotStarted, EventLevel::Warning, 3},
    {EventKind::AutoRunFolderMade, EventLevel::Information, 1},
    {EventKind::AutoRunFolderNotMade, EventLevel::Warning, 3},
    {EventKind::ProtectionOn, EventLevel::Information, 0},
    {EventKind::ProtectionOff, EventLevel::Information, 0},
    {EventKind::ProgramStarted, EventLevel::Information, 1},
    {EventKind::ProgramEnded, EventLevel::Information, 1},
    {EventKind::MovedToQuarantine, EventLevel::Information, 2},
    {EventKind::RestoredFromQuarantine, EventLevel::Information, 2},
    {EventKind::StickVaccinated, EventLevel::Information, 1},
    {EventKind::LeftAsItIs, EventLevel::Information, 2},
    {EventKind::MadeVisible, EventLevel::Information, 1},
};

constexpr const EventInfo& infoOf(EventKind kind) {
    for (const EventInfo& info : kEvents) {
        if (info.kind == kind) return info;
    }
    return kEvents[0];  // every kind has its row; a missing one fails the unit tests
}

constexpr EventLevel levelOf(EventKind kind) { return infoOf(kind).level; }

// How many insertion strings the event's message uses (%1 .. %n).
constexpr int fieldCount(EventKind kind) { return infoOf(kind).fields; }

// Whether the event carries an error: its number and the system's text follow the subject as
// insertion strings %2 and %3.
constexpr bool carriesError(EventKind kind) { return fieldCount(kind) == 3; }

// Held only for the call that reports it: the subject is not copied.
struct Event {
    EventKind kind;
    std::wstring_view subject{};  // %1: the path, command line, start or end; empty when the kind has none
    std::uint32_t error = 0;      // the system's error code, for the kinds that carry one
    std::wstring_view detail{};   // %2 of the two-field kinds: the quarantine file, the reason
};

// Why a stick or a file on it was left as it is, as LeftAsItIs's reason field.
inline constexpr std::wstring_view kReasonTooLarge = L"too-large";                // a file over 64 MiB is no worm
inline constexpr std::wstring_view kReasonQuarantineFull = L"quarantine-full";    // past 256 MiB
inline constexpr std::wstring_view kReasonDiskLow = L"disk-low";                  // under 1 GiB free
inline constexpr std::wstring_view kReasonRemoved = L"removed";                   // pulled out during the check
inline constexpr std::wstring_view kReasonBitLocker = L"bitlocker-to-go";         // a discovery volume
inline constexpr std::wstring_view kReasonHarmlessAutorun = L"harmless-autorun";  // its autorun.inf starts no worm
inline constexpr std::wstring_view kReasonNotWritable = L"not-writable";          // the folder could not be made
inline constexpr std::wstring_view kReasonStillHidden = L"still-hidden";          // a hidden item could not be made visible

constexpr Event programStarted(StartKind start) {
    return {EventKind::ProgramStarted, start == StartKind::SignIn ? L"sign-in" : L"ordinary"};
}

}  // namespace dva
