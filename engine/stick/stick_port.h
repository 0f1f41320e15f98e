// What the stick check needs of the system: the stick's files opened exactly, read and deleted
// through one handle, and the quarantine's files written, checked and kept. Portable: the Windows
// implementation lives in platform/, the unit tests' fake records every call as a trace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <vector>

#include "autorun_file.h"
#include "runtime.h"  // OpResult
#include "stick_rules.h"

namespace dva::stick {

// An open file of the port; 0 is none.
struct PortFile {
    std::uint64_t id = 0;
    explicit operator bool() const { return id != 0; }
};

// What the opened file is, from its handle. Times in the system's file time units (100 ns since
// 1601-01-01, UTC).
struct FileFacts {
    std::uint64_t size = 0;
    std::uint32_t attributes = 0;
    std::uint64_t fileId = 0;
    std::uint64_t created = 0;
    std::uint64_t accessed = 0;
    std::uint64_t written = 0;
};

// The volume a stick's file lies on, as the index records it.
struct VolumeIdentity {
    std::uint32_t serial = 0;
    std::wstring label;
};

// Which stick stands in a drive: cloned sticks share a serial number, so its volume GUID too.
struct StickIdentity {
    VolumeIdentity volume;
    std::wstring volumeGuid;
    bool operator==(const StickIdentity& other) const {
        return volume.serial == other.volume.serial && volumeGuid == other.volumeGuid;
    }
};

// Paths are given from the drive letter, as the listing spells each name ("E:\RECYCLER\x.vmx");
// the port adds the \\?\ prefix, so long names and odd characters work.
class StickPort : public AnsiCodePage {
public:
    // The stick in the drive; fails when none is there or it is not ready.
    virtual OpResult identify(wchar_t letter, StickIdentity& identity) = 0;
    // The root's items, as the listing spells them; no recursion.
    virtual OpResult listRoot(wchar_t letter, std::vector<StickItem>& items) = 0;
    // The item at a path below the root ("E:\RECYCLER\x.vmx"), never through a reparse point.
    virtual OpResult itemAt(std::wstring_view path, StickItem& item) = 0;
    // The first `limit` bytes of the file (all of a smaller one).
    virtual OpResult readStart(std::wstring_view path, std::size_t limit, std::string& bytes) = 0;
    // The facts of the file at exactly that path, read through a handle that is closed at once.
    virtual OpResult fileFacts(std::wstring_view path, FileFacts& facts) = 0;
    // Makes a folder marked hidden and system at the path, where nothing of that name is.
    virtual OpResult makeHiddenFolder(std::wstring_view path) = 0;
    // Clears the hidden and system marks of the one item, file or folder, at exactly that path,
    // keeping its other marks; what a folder holds is not touched. A reparse point, or a path that
    // leads elsewhere through one, is refused (kRefusedReparsePoint, kRefusedRedirected).
    virtual OpResult makeVisible(std::wstring_view path) = 0;

    // Opens the file at exactly that path for reading and for deleting, letting others only read it meanwhile. A link, a path that
    // leads elsewhere or a file with other names is refused (the kRefused... codes).
    virtual OpResult openExact(std::wstring_view path, PortFile& file, FileFacts& facts) = 0;
    // Reads from the current position; `got` is 0 at the end.
    virtual OpResult read(PortFile file, std::span<std::byte> into, std::size_t& got) = 0;
    // Deletes the opened file through its handle: it is gone once the handle is closed.
    virtual OpResult deleteOpened(PortFile file) = 0;
    virtual void close(PortFile file) = 0;

    // The bytes the quarantine's files take, and the space free on its drive.
    virtual OpResult quarantineSpace(std::uint64_t& used, std::uint64_t& freeOnDrive) = 0;
    // A new, uniquely named temporary file in the quarantine, open for writing and reading.
    virtual OpResult createTemporary(PortFile& file) = 0;
    virtual OpResult write(PortFile file, std::span<const std::byte> bytes) = 0;
    // Writes the file's buffers through to the disk.
    virtual OpResult flush(PortFile file) = 0;
    // Moves the read position back to the start.
    virtual OpResult rewind(PortFile file) = 0;
    // Renames the open quarantine file to `name` in the quarantine, never over an existing file
    // (then 183, ERROR_ALREADY_EXISTS). The handle stays open.
    virtual OpResult rename(PortFile file, std::wstring_view name) = 0;
    // Deletes the open quarantine file, whatever its name now, and closes it.
    virtual void discard(PortFile file) = 0;
    // Appends one line (its line break included) to the quarantine's index.tsv and flushes it.
    virtual OpResult appendIndexLine(std::string_view utf8Line) = 0;
    // Now, as a file time (UTC).
    virtual std::uint64_t utcNow() = 0;
};

inline constexpr std::uint32_t kErrorAlreadyExists = 183;

}  // namespace dva::stick
