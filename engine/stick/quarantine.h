// Moving a stick's threat into the quarantine without ever losing it: the file is opened once,
// copied into a temporary file while it is hashed, the copy is flushed, read back and checked,
// renamed to its SHA-256, recorded in index.tsv, and only then is the original deleted through
// the same handle. Any failure on the way keeps the original and leaves no temporary file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "stick_port.h"

namespace dva::stick {

// A file this large is no worm: it stays where it is.
inline constexpr std::uint64_t kQuarantineFileLimit = 64ull << 20;
// The quarantine grows no further (the program never deletes from it) ...
inline constexpr std::uint64_t kQuarantineTotalLimit = 256ull << 20;
// ... nor takes its drive's last gibibyte.
inline constexpr std::uint64_t kQuarantineFreeReserve = 1ull << 30;

enum class MoveStep {
    Open, Space, CreateTemporary, Read, Write, Flush, Verify, Rename, Index, Delete,
};

enum class MoveOutcome {
    Moved,          // in the quarantine and gone from the stick
    TooLarge,       // over kQuarantineFileLimit: left as it is
    QuarantineFull, // the quarantine would pass kQuarantineTotalLimit
    DiskLow,        // the quarantine's drive would keep less than kQuarantineFreeReserve
    Changed,        // not the file that was checked: another id, size or write time
    Failed,         // a step failed: `step` and `error` say which and why
};

struct MoveResult {
    MoveOutcome outcome = MoveOutcome::Failed;
    MoveStep step = MoveStep::Open;
    OpResult error;
    std::wstring hash;  // the quarantine file's name, once known
    FileFacts facts;    // the original's, once opened
};

// Moves the stick's file at `path` (as the listing spells it, e.g. "E:\RavMon.exe") into the
// quarantine. `volume` identifies the stick in the index line. With `expected`, the opened file
// must still be the one seen then (same id, size and write time), or it is left alone.
MoveResult moveToQuarantine(StickPort& port, std::wstring_view path, const VolumeIdentity& volume,
                            const FileFacts* expected = nullptr);

// The index.tsv line of a moved file, with its line break: UTF-8, tab-separated, the time of the
// move (UTC), the original path, the volume's serial number (XXXX-XXXX) and label, the size, the
// attributes (8 hex digits), the times created, last accessed and last written (UTC), the SHA-256.
// Times read 2026-12-09T02:16:09Z. Control characters, which no file name or label holds,
// become U+FFFD so a line stays one line.
std::string indexLine(std::uint64_t now, std::wstring_view path, const VolumeIdentity& volume, const FileFacts& facts,
                      std::wstring_view hash);

// A file time as YYYY-MM-DDTHH:MM:SSZ.
std::string utcText(std::uint64_t fileTime);

}  // namespace dva::stick
