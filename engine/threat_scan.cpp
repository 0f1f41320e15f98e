#include "threat_scan.h"

#include "file_removal.h"
#include "threat_table.h"

namespace dva {

void ThreatScan::tick() {
    if (passing_ || rt_.runtimeErrorReportOpen()) return;
    passing_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{passing_};
    pass();
}

void ThreatScan::pass() {
    for (const ThreatEntry& entry : kThreatTable) {
        const std::wstring_view path = entry.path;
        if (elsewhere_ && elsewhere_->held(path)) continue;  // not even tested: its handler is at it
        const Presence seen = rt_.probe(path);
        const auto stuck = stuck_.find(path);
        if (seen == Presence::Absent) {
            if (stuck != stuck_.end()) stuck_.erase(stuck);  // its next appearance is new
            continue;
        }
        const bool quiet = stuck != stuck_.end();
        if (!quiet) {
            // Logged before the alert, which may wait a long time for the user.
            rt_.report({EventKind::ThreatDetected, path});
            rt_.message(L"Sisteminizde virus tespit edildi!", L"Virüs Bulundu!", MessageIcon::Error);
            detections_.append(path);
        }
        std::uint64_t killedAt = quiet ? stuck->second : 0;
        if (entry.killProgram && (!quiet || rt_.nowMs() - killedAt >= kKillRetryMs)) killedAt = kill(entry, quiet);
        const OpResult removed = removeFile(rt_, path, seen);
        if (removed.ok()) {
            rt_.report({EventKind::ThreatRemoved, path});
            if (quiet) stuck_.erase(stuck);
        } else if (quiet) {
            stuck->second = killedAt;  // the failure was logged once, at the detection
        } else {
            stuck_.emplace(path, killedAt);
            rt_.report({EventKind::ThreatNotRemoved, path, removed.error});
            reportDeleteFailure(rt_, path, removed);
        }
    }
}

std::uint64_t ThreatScan::kill(const ThreatEntry& entry, bool quiet) {
    // The system's own program by its full path, quoted: a file of that name beside this
    // program or in the current folder must not run in its place.
    const std::wstring folder = rt_.systemFolder();
    std::wstring line = L"\"" + folder + L"\\" + entry.killProgram + L"\" " + entry.killArguments;
    const std::uint64_t startedAt = rt_.nowMs();
    if (folder.empty()) {
        // No folder named: "\taskkill.exe" would be looked for at the root of the current drive.
        if (!quiet) {
            rt_.report({EventKind::KillCommandNotStarted, line, kRefusedNoSystemFolder});
            reportFailure(rt_, L"Komut başlatılamadı: ", line, OpResult{kRefusedNoSystemFolder});
        }
        return startedAt;
    }
    // Waited for, so that the file of the process just ended can be deleted. A retry runs in the
    // background: it must not take the focus from whatever the user is doing.
    const OpResult started = rt_.runCommandLine(line, kKillWaitMs, quiet);
    // Logged like the box: for the detection, not for each quiet retry of a stuck file.
    if (quiet) return startedAt;
    if (started.ok()) {
        rt_.report({EventKind::KillCommandStarted, line});
    } else {
        rt_.report({EventKind::KillCommandNotStarted, line, started.error});
        reportFailure(rt_, L"Komut başlatılamadı: ", line, started);
    }
    return startedAt;
}

}  // namespace dva
