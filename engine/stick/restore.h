// Putting a file back from the quarantine ("/restore <SHA-256> [<folder>]"): its index.tsv line
// found by the hash, the kept copy checked against its name while it is copied to a NEW file at
// its original path or into the folder given, with its attributes and times. Never over an
// existing file, never a partial file left behind, and the quarantine keeps its copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "runtime.h"  // OpResult, Runtime
#include "stick_port.h"  // PortFile, FileFacts

namespace dva::stick {

// What the restore needs of the system. Paths as the user reads them ("E:\RavMon.exe"); the
// Windows implementation adds the \\?\ prefix.
class RestorePort {
public:
    virtual ~RestorePort() = default;
    // The whole of the quarantine's index.tsv; kErrorFileNotFound when there is none yet.
    virtual OpResult readIndex(std::string& utf8) = 0;
    // The quarantine's file of that name (lower-case hex), for reading; nobody may write it meanwhile.
    virtual OpResult openKept(std::wstring_view name, PortFile& file) = 0;
    // Reads from the current position; `got` is 0 at the end.
    virtual OpResult read(PortFile file, std::span<std::byte> into, std::size_t& got) = 0;
    // Moves the read position back to the start.
    virtual OpResult rewind(PortFile file) = 0;
    // Creates the file at `path` as a new one, for writing; fails with 80 (ERROR_FILE_EXISTS) or
    // 183 when anything is there, a link included: nothing is ever written over.
    virtual OpResult createNew(std::wstring_view path, PortFile& file) = 0;
    virtual OpResult write(PortFile file, std::span<const std::byte> bytes) = 0;
    // Writes the file's buffers through to the disk.
    virtual OpResult flush(PortFile file) = 0;
    // Sets the attributes (0: none) and the three times of the created file through its handle.
    virtual OpResult setFacts(PortFile file, std::uint32_t attributes, std::uint64_t created, std::uint64_t accessed,
                              std::uint64_t written) = 0;
    // Deletes the created file, whatever its attributes, and closes it.
    virtual void discard(PortFile file) = 0;
    virtual void close(PortFile file) = 0;
};

// One move as index.tsv recorded it.
struct IndexRecord {
    std::wstring originalPath;  // "E:\RavMon.exe"
    std::uint64_t size = 0;
    std::uint32_t attributes = 0;
    std::uint64_t created = 0, accessed = 0, written = 0;  // file times (UTC)
    std::wstring hash;  // lower case
};

// The hash as given on the command line, in any letter case, in lower case: 64 hexadecimal
// digits, else nothing.
std::optional<std::wstring> normalHash(std::wstring_view text);

// The last line of the index that records `hash` (lower case). Blank lines, lines of another
// shape and lines that do not decode are passed over; CRLF and LF both end a line.
std::optional<IndexRecord> findInIndex(std::string_view index, std::wstring_view hash);

// A time as indexLine writes it (2026-12-09T02:16:09Z) as a file time; nothing when malformed.
std::optional<std::uint64_t> fileTimeOf(std::string_view utc);

// Where the file goes back: its original path, or, with a folder, the original file name in it.
std::wstring restoreDestination(std::wstring_view originalPath, std::wstring_view folder);

enum class RestoreOutcome {
    Restored,
    Usage,              // the hash is not 64 hexadecimal digits
    NotInIndex,         // no index line records it
    DestinationExists,  // something is at the destination already: left as it is
    Failed,             // `step` and `error` say where and why; nothing is left at the destination
};

enum class RestoreStep { Index, Open, Read, Mismatch, Create, Write, Flush, Facts };

struct RestoreResult {
    RestoreOutcome outcome = RestoreOutcome::Failed;
    RestoreStep step = RestoreStep::Index;
    OpResult error;
    std::wstring hash;         // lower case, once the hash is valid
    std::wstring destination;  // once the index line is found
};

// Restores the quarantine's file named by `hashText` to its original path, or into `folder` when
// it is not empty (a full path). The kept file is first read through whole and must hash to its
// name (else nothing is written); it is then copied, hashed again, into the new file, which is
// flushed and given the recorded attributes and times; any failure deletes what was written. On
// success the event log gets RestoredFromQuarantine (the hash, the path written).
RestoreResult restoreFromQuarantine(RestorePort& port, Runtime& runtime, std::wstring_view hashText,
                                    std::wstring_view folder);

// What the user is told of the result, in Turkish; `notices` gives the system's reason for an error.
std::wstring restoreReport(const RestoreResult& result, Notices& notices);

// The exit code of a /restore start for the result: 0 when restored, else one code per outcome.
int restoreExitCode(RestoreOutcome outcome);

}  // namespace dva::stick
