// The engine's port: the operations of the system that the protection engine calls. Portable:
// no <windows.h>, so the engine and its tests build and run anywhere; platform/win32_runtime.* is
// the real one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "events.h"
#include "notices.h"
#include "refusals.h"  // the kRefused... codes the file operations give

namespace dva {

// The outcome of a file or process operation: 0 on success, else the system's error code.
struct OpResult {
    std::uint32_t error = 0;
    bool ok() const { return error == 0; }
};

// System error codes the engine tells apart.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;  // also what deleting a folder as a file gives

// What the presence test sees at a path. Only a plain file counts: a folder of that name,
// or a file marked hidden or system, is Absent.
enum class Presence { Absent, Present, PresentReadOnly };

// The boxes, error descriptions and the error report's state come from Notices (portable/).
class Runtime : public Notices {
public:
    virtual Presence probe(std::wstring_view path) = 0;

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
