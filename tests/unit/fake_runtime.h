// A recording stand-in for the system: a small scripted file system, and a trace of every call
// that the user or the disk would notice, as readable UTF-8 lines such as
// "message Virüs Bulundu!|Sisteminizde virus tespit edildi!|16", "list C:\System32.exe",
// "run "D:\OS\sys\taskkill.exe" /F /IM amvo.exe wait 5000", "clear-readonly C:\X", "delete C:\X", "mkdir C:\X".
// Event-log entries go to their own list as "event <id> <subject>[|<error>]", e.g.
// "event 1002 C:\X|32"; with eventsInTrace they are also written into the trace, in order.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "runtime.h"

namespace dva::test {

inline std::string utf8(std::wstring_view text) {
    std::string out;
    for (const wchar_t wc : text) {
        const auto c = static_cast<char32_t>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {  // beyond the BMP, where wchar_t holds one (not on Windows)
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Widens an ASCII path as written in a test.
inline std::wstring wide(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// The reason the fake gives for an error code, so tests can spell the expected error box.
inline std::wstring wideReasonFor(std::uint32_t code) { return L"sistem hatası " + std::to_wstring(code); }
inline std::string reasonFor(std::uint32_t code) { return utf8(wideReasonFor(code)); }

// A plain file in the fake file system.
struct FakeFile {
    bool readOnly = false;
    bool hidden = false;            // hidden or system: the presence test does not see it
    std::uint32_t deleteError = 0;  // e.g. 32 while another process holds it open
};

using Trace = std::vector<std::string>;

// How the scan's alert and its kill command appear in the trace.
inline const std::string kHitMessage = "message Virüs Bulundu!|Sisteminizde virus tespit edildi!|16";
// The system folder's own taskkill.exe, quoted, whatever lies beside the program.
inline const std::string kKillLine = "\"D:\\OS\\sys\\taskkill.exe\" /F /IM amvo.exe";
inline const std::string kKill = "run " + kKillLine + " wait 5000";

class FakeRuntime : public Runtime, public DetectionSink {
public:
    using File = FakeFile;

    std::map<std::wstring, File, std::less<>> files;
    std::set<std::wstring, std::less<>> folders;  // probe absent, and cannot be deleted as files
    std::uint32_t mkdirError = 0;
    std::vector<std::string> trace;
    std::vector<std::string> events;
    bool eventsInTrace = false;
    int probes = 0;
    // Runs while a message box is open, as a timer tick dispatched by the box's modal loop would.
    std::function<void()> whileMessageOpen;
    // Runs while a started command is waited for, as a tick dispatched by the waiting loop would.
    std::function<void()> whileWaiting;
    std::uint32_t runError = 0;  // the system's answer when a command line cannot be started
    std::uint64_t clock = 1'000'000;  // milliseconds, moved on by the tests
    bool reportOpen = false;  // the run-time error report is on screen
    std::wstring systemFolderAnswer = L"D:\\OS\\sys";

    void addFile(std::string_view path, File file = {}) { files[wide(path)] = file; }
    bool isFile(std::string_view path) const { return files.count(wide(path)) != 0; }
    bool isFolder(std::string_view path) const { return folders.count(wide(path)) != 0; }
    std::vector<std::string> takeTrace() { return std::exchange(trace, {}); }
    std::vector<std::string> takeEvents() { return std::exchange(events, {}); }

    Presence probe(std::wstring_view path) override {
        ++probes;
        const auto it = files.find(path);
        if (it == files.end() || it->second.hidden) return Presence::Absent;
        return it->second.readOnly ? Presence::PresentReadOnly : Presence::Present;
    }

    void message(std::wstring_view text, std::wstring_view title, MessageIcon icon) override {
        trace.push_back("message " + utf8(title) + "|" + utf8(text) + "|" +
                        std::to_string(static_cast<unsigned>(icon)));
        if (whileMessageOpen) whileMessageOpen();
    }
    bool runtimeErrorReportOpen() const override { return reportOpen; }

    OpResult clearReadOnly(std::wstring_view path) override {
        trace.push_back("clear-readonly " + utf8(path));
        const auto it = files.find(path);
        if (it == files.end()) return {kErrorFileNotFound};
        it->second.readOnly = false;
        return {};
    }

    // As the system does: a read-only file or a folder is refused (5). A scripted "not found"
    // error means the file vanished just before the delete, so it is gone afterwards.
    OpResult deleteFile(std::wstring_view path) override {
        trace.push_back("delete " + utf8(path));
        const auto it = files.find(path);
        if (it == files.end()) return {folders.count(path) != 0 ? 5u : kErrorFileNotFound};
        const std::uint32_t error = it->second.readOnly ? 5u : it->second.deleteError;
        if (error == 0 || error == kErrorFileNotFound || error == kErrorPathNotFound) files.erase(it);
        return {error};
    }

    OpResult makeFolder(std::wstring_view path) override {
        trace.push_back("mkdir " + utf8(path));
        if (mkdirError != 0) return {mkdirError};
        if (files.count(path) != 0 || folders.count(path) != 0) return {183};  // already exists
        folders.emplace(path);
        return {};
    }

    OpResult runCommandLine(std::wstring_view line, unsigned waitMs, bool inBackground) override {
        trace.push_back("run " + utf8(line) + " wait " + std::to_string(waitMs) + (inBackground ? " background" : ""));
        if (runError != 0) return {runError};
        if (waitMs != 0 && whileWaiting) whileWaiting();
        return {};
    }

    std::wstring systemFolder() override { return systemFolderAnswer; }
    std::uint64_t nowMs() override { return clock; }

    std::wstring errorReason(std::uint32_t code) override { return wideReasonFor(code); }

    void report(const Event& event) override {
        std::string line = "event " + std::to_string(static_cast<unsigned>(event.kind));
        if (!event.subject.empty()) line += " " + utf8(event.subject);
        if (event.error != 0) line += "|" + std::to_string(event.error);
        if (!event.detail.empty()) line += "|" + utf8(event.detail);
        events.push_back(line);
        if (eventsInTrace) trace.push_back(line);
    }

    void append(std::wstring_view path) override { trace.push_back("list " + utf8(path)); }

};

}  // namespace dva::test
