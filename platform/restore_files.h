// The file work of "/restore" on Win32: the quarantine's index and kept files read, the file put
// back created as a new one through the \\?\ prefix (long names, odd characters) and given its
// attributes and times through its handle.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "stick/restore.h"  // the engine's restore and its port

namespace dva {

class Win32RestorePort final : public stick::RestorePort {
public:
    // `quarantine`: the quarantine's folder, as quarantineFolder gives it.
    explicit Win32RestorePort(std::wstring quarantine) : quarantine_(std::move(quarantine)) {}
    ~Win32RestorePort() override;
    Win32RestorePort(const Win32RestorePort&) = delete;
    Win32RestorePort& operator=(const Win32RestorePort&) = delete;

    OpResult readIndex(std::string& utf8) override;
    OpResult openKept(std::wstring_view name, stick::PortFile& file) override;
    OpResult read(stick::PortFile file, std::span<std::byte> into, std::size_t& got) override;
    OpResult rewind(stick::PortFile file) override;
    OpResult createNew(std::wstring_view path, stick::PortFile& file) override;
    OpResult write(stick::PortFile file, std::span<const std::byte> bytes) override;
    OpResult flush(stick::PortFile file) override;
    OpResult setFacts(stick::PortFile file, std::uint32_t attributes, std::uint64_t created, std::uint64_t accessed,
                      std::uint64_t written) override;
    void discard(stick::PortFile file) override;
    void close(stick::PortFile file) override;

private:
    stick::PortFile remember(HANDLE handle, std::wstring path);
    HANDLE handleOf(stick::PortFile file) const;

    std::wstring quarantine_;
    struct Open {
        HANDLE handle;
        std::wstring path;  // with the \\?\ prefix
    };
    std::map<std::uint64_t, Open> open_;
    std::uint64_t next_ = 0;
};

// A full path ("E:\x", "\\server\share\x") with the \\?\ prefix, which takes it as it is.
std::wstring withLongPrefix(std::wstring_view path);

// A start with "/restore <hash> [<folder>]": puts the file back, tells the user what it did and
// gives the exit code (stick::restoreExitCode's). `extraWords`: more words followed the folder.
// Told on the standard output when the start has one (a pipe or a file), else on the console of
// the command prompt that started it, else in a box.
int runRestore(std::wstring_view hash, std::wstring_view folder, bool extraWords);

}  // namespace dva
