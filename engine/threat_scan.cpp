#include "threat_scan.h"

#include "file_removal.h"
#include "threat_table.h"

namespace dva {

void ThreatScan::tick() {
    if (rt_.messageOpen()) return;
    pass();
}

void ThreatScan::pass() {
    for (const ThreatEntry& entry : kThreatTable) {
        const std::wstring_view path = entry.path;
        const Presence seen = rt_.probe(path);
        const auto stuck = stuck_.find(path);
        if (seen == Presence::Absent) {
            if (stuck != stuck_.end()) stuck_.erase(stuck);  // its next appearance is new
            continue;
        }
        const bool quiet = stuck != stuck_.end();
        if (!quiet) {
            rt_.message(L"Sisteminizde virus tespit edildi!", L"Virüs Bulundu!", MessageIcon::Error);
            detections_.append(path);
        }
        if (entry.killCommand) {
            // Wait for the kill so that the file of the process just ended can be deleted.
            rt_.runCommandLine(entry.killCommand, kKillWaitMs);
        }
        const OpResult removed = removeFile(rt_, path, seen);
        if (removed.ok()) {
            if (quiet) stuck_.erase(stuck);
        } else if (!quiet) {
            stuck_.emplace(path);
            reportDeleteFailure(rt_, path, removed);
        }
    }
}

}  // namespace dva
