// The engine's port: the operations of the system that the protection engine calls. Portable:
// no <windows.h>, so the engine and its tests build and run anywhere; platform/win32_runtime.* is
// the real one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// What the presence test sees at a path. Only a plain file counts: a folder of that name,
// or a file marked hidden or system, is Absent.
enum class Presence { Absent, Present, PresentReadOnly };

class Runtime {
public:
    virtual ~Runtime() = default;

    virtual Presence probe(std::wstring_view path) = 0;

    // Modal to the whole program and brought to the foreground; returns once it is closed.
    virtual void message(std::wstring_view text, std::wstring_view title, MessageIcon icon) = 0;
    // True while any message box of the program is open, the run-time error report included
    // (its modal loop still runs timers).
    virtual bool messageOpen() const = 0;

    virtual OpResult clearReadOnly(std::wstring_view path) = 0;
    virtual OpResult deleteFile(std::wstring_view path) = 0;
    virtual OpResult makeFolder(std::wstring_view path) = 0;

    // Starts the command line as a new process, minimised with focus, and waits for it to end
    // at most waitMs milliseconds (0: does not wait). While it waits, the program's windows go on
    // handling their messages, timer ticks included. The result tells whether the process started.
    virtual OpResult runCommandLine(std::wstring_view line, unsigned waitMs) = 0;

    // The folder to start the system's own programs from, without a trailing separator: System32,
    // or the alias of the native System32 where this program's own is redirected (a 32-bit program
    // on 64-bit Windows).
    virtual std::wstring systemFolder() = 0;
    // A steady clock in milliseconds, for spacing out retries.
    virtual std::uint64_t nowMs() = 0;

    // The system's own description of an error code, in the user's language, on one line.
    virtual std::wstring errorReason(std::uint32_t code) = 0;
};

// Where detections are recorded: the detection list of the detections window.
class DetectionSink {
public:
    virtual ~DetectionSink() = default;
    virtual void append(std::wstring_view path) = 0;
};

}  // namespace dva
