// The engine's port: the operations of the system that the protection engine calls. Portable:
// no <windows.h>, so the engine and its tests build and run anywhere; platform/win32_runtime.* is
// the real one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "events.h"

namespace dva {

// Message box icons, numbered as the system numbers them.
enum class MessageIcon : unsigned { Error = 16, Warning = 48, Information = 64 };

// The outcome of a file or process operation: 0 on success, else the system's error code.
struct OpResult {
    std::uint32_t error = 0;
    bool ok() const { return error == 0; }
};

// System error codes the engine tells apart.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;  // also what deleting a folder as a file gives
// The program's own reasons for leaving a file alone, with the bit the system leaves free for
// programs' own codes (1 << 29) set. The runtime's errorReason describes them.
inline constexpr std::uint32_t kRefusedReparsePoint = 0x20000001;  // the file itself is a link
inline constexpr std::uint32_t kRefusedRedirected = 0x20000002;    // a folder on the way leads elsewhere
inline constexpr std::uint32_t kRefusedHardLinks = 0x20000003;     // the file has other names too
inline constexpr std::uint32_t kRefusedNoSystemFolder = 0x20000004;  // the system did not name its folder

// What the presence test sees at a path. Only a plain file counts: a folder of that name,
// or a file marked hidden or system, is Absent.
enum class Presence { Absent, Present, PresentReadOnly };

class Runtime {
public:
    virtual ~Runtime() = default;

    virtual Presence probe(std::wstring_view path) = 0;

    // Modal to the whole program and brought to the foreground; returns once it is closed.
    virtual void message(std::wstring_view text, std::wstring_view title, MessageIcon icon) = 0;
    // True while the run-time error report is open: the program ends once it is closed, and its
    // modal loop still runs timers, so nothing may be scanned behind it. The boxes the engine
    // opens itself are the engine's own to count.
    virtual bool runtimeErrorReportOpen() const = 0;

    // Both act only on the file at exactly that path: a path that leads elsewhere through a link
    // or a folder junction, a link itself, or a file with more than one name is refused with one
    // of the kRefused... codes and left as it is.
    virtual OpResult clearReadOnly(std::wstring_view path) = 0;
    virtual OpResult deleteFile(std::wstring_view path) = 0;
    virtual OpResult makeFolder(std::wstring_view path) = 0;

    // Starts the command line as a new process, minimised with focus (in the background: minimised
    // without taking the focus), and waits for it to end at most waitMs milliseconds (0: does not
    // wait). While it waits, the program's windows go on handling their messages, timer ticks
    // included. The result tells whether the process started.
    virtual OpResult runCommandLine(std::wstring_view line, unsigned waitMs, bool inBackground) = 0;

    // The folder to start the system's own programs from, without a trailing separator: System32,
    // or the alias of the native System32 where this program's own is redirected (a 32-bit program
    // on 64-bit Windows).
    virtual std::wstring systemFolder() = 0;
    // A steady clock in milliseconds, for spacing out retries.
    virtual std::uint64_t nowMs() = 0;

    // The system's own description of an error code, in the user's language, on one line.
    virtual std::wstring errorReason(std::uint32_t code) = 0;

    // Writes one event to the Windows event log. Never fails as far as the caller can tell: a
    // missing or failing log must not stop protection, and shows nothing.
    virtual void report(const Event& event) = 0;
};

// Where detections are recorded: the detection list of the detections window.
class DetectionSink {
public:
    virtual ~DetectionSink() = default;
    virtual void append(std::wstring_view path) = 0;
};

}  // namespace dva
