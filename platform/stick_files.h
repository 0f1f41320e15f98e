// The stick check's port on Win32: a stick's files looked at, read and moved into the quarantine
// through handles that are closed at once, with the \\?\ prefix so long names and odd characters
// work, and never through a reparse point. Used on the stick watch's own thread only.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

#include "handles.h"
#include "stick/stick_port.h"

namespace dva {

// Finds (and makes) the quarantine's folder; quarantine_folder.h has the program's own.
using QuarantineFolderFn = OpResult (*)(std::wstring& folder);

class Win32StickPort final : public stick::StickPort {
public:
    explicit Win32StickPort(QuarantineFolderFn findQuarantine) : findQuarantine_(findQuarantine) {}

    // A stick is being taken out: the reads under way fail at once (the move then keeps the
    // original), so the handle is given back and the stick can go. Any thread may call it.
    void abandonReads() { abandon_ = true; }
    void allowReads() { abandon_ = false; }

    std::wstring fromAnsi(std::string_view bytes) const override;

    OpResult identify(wchar_t letter, stick::StickIdentity& identity) override;
    OpResult listRoot(wchar_t letter, std::vector<stick::StickItem>& items) override;
    OpResult itemAt(std::wstring_view path, stick::StickItem& item) override;
    OpResult readStart(std::wstring_view path, std::size_t limit, std::string& bytes) override;
    OpResult fileFacts(std::wstring_view path, stick::FileFacts& facts) override;
    OpResult makeHiddenFolder(std::wstring_view path) override;
    OpResult makeVisible(std::wstring_view path) override;

    OpResult openExact(std::wstring_view path, stick::PortFile& file, stick::FileFacts& facts) override;
    OpResult read(stick::PortFile file, std::span<std::byte> into, std::size_t& got) override;
    OpResult deleteOpened(stick::PortFile file) override;
    void close(stick::PortFile file) override;

    OpResult quarantineSpace(std::uint64_t& used, std::uint64_t& freeOnDrive) override;
    OpResult createTemporary(stick::PortFile& file) override;
    OpResult write(stick::PortFile file, std::span<const std::byte> bytes) override;
    OpResult flush(stick::PortFile file) override;
    OpResult rewind(stick::PortFile file) override;
    OpResult rename(stick::PortFile file, std::wstring_view name) override;
    void discard(stick::PortFile file) override;
    OpResult appendIndexLine(std::string_view utf8Line) override;
    std::uint64_t utcNow() override;

private:
    OpResult quarantine(std::wstring& folder);
    stick::PortFile keep(UniqueHandle handle);
    HANDLE handleOf(stick::PortFile file) const;

    QuarantineFolderFn findQuarantine_;
    std::atomic<bool> abandon_{false};
    std::map<std::uint64_t, UniqueHandle> open_;
    std::uint64_t lastId_ = 0;
};

// A path of the stick ("E:\RavMon.exe") as the system is given it: "\\?\E:\RavMon.exe".
std::wstring longPath(std::wstring_view path);

}  // namespace dva
