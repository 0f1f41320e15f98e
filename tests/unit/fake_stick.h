// Stand-ins for what the stick check needs of the system: a Latin-1 ANSI code page, the rules run
// over a scripted root listing, a recording stick port (scripted sticks, their files and the
// quarantine; a trace of the calls that open, write, rename, delete or change marks, such as
// "open E:\RavMon.exe", "write ~1 5", "rename ~1 <hash>", "visible E:\Belgeler"; the queries that
// only look are not traced), and the stick
// events written as "event 1011 E:\RavMon.exe|<hash>" into a trace.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fake_runtime.h"
#include "stick/autorun_file.h"
#include "stick/stick_port.h"
#include "stick/stick_rules.h"

namespace dva::test {

// Windows-1252's letters below 0x100 are Latin-1's: enough for a file written in a Western code page.
class Latin1 : public stick::AnsiCodePage {
public:
    std::wstring fromAnsi(std::string_view bytes) const override {
        std::wstring text;
        for (const char c : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
        return text;
    }
};

// The port over a scripted stick and quarantine. Temporary files are named "~1", "~2", ...
class FakeStickPort : public stick::StickPort {
public:
    struct File {
        std::string bytes;
        stick::FileFacts facts;
    };
    std::map<wchar_t, stick::StickIdentity> drives;             // the sticks in their drives
    std::map<std::wstring, File, std::less<>> stick;            // by path, "E:\RavMon.exe"; folders too
    std::map<std::wstring, std::string, std::less<>> quarantine;  // by name
    std::vector<std::string> index;                               // lines as appended
    std::uint64_t used = 0;
    std::uint64_t freeOnDrive = 100ull << 30;
    std::uint64_t now = 134412561690000000;  // 2026-12-09T02:16:09Z
    // A call's scripted error, by the name it has in the trace ("reread": a read of a temporary).
    std::map<std::string, std::uint32_t, std::less<>> failing;
    bool diskAltersCopies = false;  // what is read back differs from what was written
    bool failureRemovesStick = false;  // a scripted failure is the stick pulled out
    std::set<std::wstring, std::less<>> inUse;  // files another program holds: opening them fails with 32
    Trace trace;

    void addStickFile(std::wstring path, std::string bytes, std::uint32_t attributes = stick::kAttrHidden) {
        const stick::FileFacts facts{bytes.size(), attributes, ++fileIds_, 10, 20, 30};
        stick[std::move(path)] = {std::move(bytes), facts};
    }
    bool anyTemporary() const {
        return std::any_of(quarantine.begin(), quarantine.end(), [](const auto& kept) { return kept.first[0] == L'~'; });
    }

    bool allClosed() const { return open_.empty(); }

    std::wstring fromAnsi(std::string_view bytes) const override { return Latin1{}.fromAnsi(bytes); }

    OpResult identify(wchar_t letter, stick::StickIdentity& identity) override {
        const auto it = drives.find(letter);
        if (it == drives.end()) return {21};  // not ready
        identity = it->second;
        return {};
    }
    OpResult listRoot(wchar_t letter, std::vector<stick::StickItem>& items) override {
        if (drives.count(letter) == 0) return {21};
        const std::wstring root = {letter, L':', L'\\'};
        for (const auto& [path, file] : stick) {
            if (path.starts_with(root) && path.find(L'\\', root.size()) == std::wstring::npos) {
                items.push_back({path.substr(root.size()), file.facts.attributes, file.facts.size, file.facts.written});
            }
        }
        return {};
    }
    OpResult itemAt(std::wstring_view path, stick::StickItem& item) override {
        const auto it = stick.find(path);
        if (it == stick.end()) return {kErrorFileNotFound};
        item = {std::wstring(stick::lastComponent(path)), it->second.facts.attributes, it->second.facts.size, it->second.facts.written};
        return {};
    }
    OpResult readStart(std::wstring_view path, std::size_t limit, std::string& bytes) override {
        const auto it = stick.find(path);
        if (it == stick.end()) return {kErrorFileNotFound};
        bytes = it->second.bytes.substr(0, limit);
        return {};
    }
    OpResult fileFacts(std::wstring_view path, stick::FileFacts& facts) override {
        const auto it = stick.find(path);
        if (it == stick.end()) return {kErrorFileNotFound};
        facts = it->second.facts;
        return {};
    }
    OpResult makeHiddenFolder(std::wstring_view path) override {
        trace.push_back("vaccinate " + utf8(path));
        if (const OpResult failure = scripted("vaccinate"); !failure.ok()) return failure;
        addStickFile(std::wstring(path), {}, stick::kAttrHidden | stick::kAttrSystem | stick::kAttrDirectory);
        return {};
    }
    // Clears hidden and system on that one entry, as the system does; refuses a link.
    OpResult makeVisible(std::wstring_view path) override {
        trace.push_back("visible " + utf8(path));
        if (const OpResult failure = scripted("visible"); !failure.ok()) return failure;
        const auto it = stick.find(path);
        if (it == stick.end()) return {kErrorFileNotFound};
        if (it->second.facts.attributes & stick::kAttrReparsePoint) return {kRefusedReparsePoint};
        it->second.facts.attributes &= ~(stick::kAttrHidden | stick::kAttrSystem);
        return {};
    }

    OpResult openExact(std::wstring_view path, stick::PortFile& file, stick::FileFacts& facts) override {
        trace.push_back("open " + utf8(path));
        if (const OpResult failure = scripted("open"); !failure.ok()) return failure;
        if (inUse.count(path) != 0) return {32};
        const auto it = stick.find(path);
        if (it == stick.end()) return {kErrorFileNotFound};
        facts = it->second.facts;
        file = remember({std::wstring(path), false});
        return {};
    }
    OpResult read(stick::PortFile file, std::span<std::byte> into, std::size_t& got) override {
        Open& open = open_.at(file.id);
        const std::string& bytes = open.temporary ? quarantine.at(open.name) : stick.at(open.name).bytes;
        got = std::min(into.size(), bytes.size() - open.position);
        if (got == 0) return {};  // the end, not traced
        trace.push_back("read " + utf8(open.name) + " " + std::to_string(got));
        if (const OpResult failure = scripted(open.temporary ? "reread" : "read"); !failure.ok()) return failure;
        std::memcpy(into.data(), bytes.data() + open.position, got);
        if (open.temporary && diskAltersCopies) into[0] ^= std::byte{1};
        open.position += got;
        return {};
    }
    OpResult deleteOpened(stick::PortFile file) override {
        trace.push_back("delete " + utf8(open_.at(file.id).name));
        if (const OpResult failure = scripted("delete"); !failure.ok()) return failure;
        open_.at(file.id).deleteOnClose = true;
        return {};
    }
    void close(stick::PortFile file) override {
        if (!file) return;
        const Open open = open_.at(file.id);
        trace.push_back("close " + utf8(open.name));
        if (open.deleteOnClose) stick.erase(open.name);
        open_.erase(file.id);
    }
    OpResult quarantineSpace(std::uint64_t& usedNow, std::uint64_t& freeNow) override {
        trace.push_back("space");
        usedNow = used;
        freeNow = freeOnDrive;
        return scripted("space");
    }
    OpResult createTemporary(stick::PortFile& file) override {
        const std::wstring name = L"~" + std::to_wstring(++temporaries_);
        trace.push_back("create " + utf8(name));
        if (const OpResult failure = scripted("create"); !failure.ok()) return failure;
        quarantine[name];
        file = remember({name, true});
        return {};
    }
    OpResult write(stick::PortFile file, std::span<const std::byte> bytes) override {
        const Open& open = open_.at(file.id);
        trace.push_back("write " + utf8(open.name) + " " + std::to_string(bytes.size()));
        if (const OpResult failure = scripted("write"); !failure.ok()) return failure;
        quarantine.at(open.name).append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return {};
    }
    OpResult flush(stick::PortFile file) override {
        trace.push_back("flush " + utf8(open_.at(file.id).name));
        return scripted("flush");
    }
    OpResult rewind(stick::PortFile file) override {
        trace.push_back("rewind " + utf8(open_.at(file.id).name));
        open_.at(file.id).position = 0;
        return scripted("rewind");
    }
    OpResult rename(stick::PortFile file, std::wstring_view name) override {
        Open& open = open_.at(file.id);
        trace.push_back("rename " + utf8(open.name) + " " + utf8(name));
        if (const OpResult failure = scripted("rename"); !failure.ok()) return failure;
        if (quarantine.count(name) != 0) return {stick::kErrorAlreadyExists};
        auto node = quarantine.extract(open.name);
        node.key() = std::wstring(name);
        quarantine.insert(std::move(node));
        open.name = name;
        return {};
    }
    void discard(stick::PortFile file) override {
        trace.push_back("discard " + utf8(open_.at(file.id).name));
        quarantine.erase(open_.at(file.id).name);
        open_.erase(file.id);
    }
    OpResult appendIndexLine(std::string_view line) override {
        trace.push_back("index");
        if (const OpResult failure = scripted("index"); !failure.ok()) return failure;
        index.emplace_back(line);
        return {};
    }
    std::uint64_t utcNow() override { return now; }

private:
    struct Open {
        std::wstring name;
        bool temporary = false;
        std::size_t position = 0;
        bool deleteOnClose = false;
    };
    OpResult scripted(std::string_view call) {
        const auto it = failing.find(call);
        if (it == failing.end()) return {};
        if (failureRemovesStick) drives.clear();
        return {it->second};
    }
    stick::PortFile remember(Open open) {
        open_[++handles_] = std::move(open);
        return {handles_};
    }
    std::map<std::uint64_t, Open> open_;
    std::uint64_t handles_ = 0;
    int temporaries_ = 0;
    std::uint64_t fileIds_ = 0;
};

// The threats the rules find on stick E: for the autorun.inf text, as the listing spells them.
inline std::vector<std::string> threatNames(std::string_view autorun, const std::vector<stick::StickItem>& root,
                                            const std::map<std::wstring, stick::StickItem, std::less<>>& below) {
    const stick::ItemLookup lookup = [&below](std::wstring_view relative) -> std::optional<stick::StickItem> {
        for (const auto& [path, item] : below) {
            if (stick::sameName(path, relative)) return item;
        }
        return std::nullopt;
    };
    std::vector<std::string> names;
    for (const stick::StickThreat& threat : stick::findThreats(stick::readAutorunEntries(autorun, Latin1{}), root, lookup, L'E')) {
        names.push_back(utf8(threat.relative));
    }
    return names;
}

}  // namespace dva::test
