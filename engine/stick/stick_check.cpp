#include "stick_check.h"

#include <algorithm>

#include "failure_text.h"
#include "file_removal.h"
#include "quarantine.h"

namespace dva::stick {
namespace {

// Rounds of "the stick changed while the box was open: check again" before leaving it to the
// next tick.
constexpr int kRounds = 3;

std::wstring pathOn(wchar_t letter, std::wstring_view relative) { return driveName(letter) + L'\\' + std::wstring(relative); }

bool sameFile(const FileFacts& a, const FileFacts& b) {
    return a.fileId == b.fileId && a.size == b.size && a.written == b.written;
}

}  // namespace

std::wstring driveName(wchar_t letter) { return {letter, L':'}; }

StickCheck::Look StickCheck::look(wchar_t letter, Seen& seen) {
    std::vector<StickItem> root;
    if (!port_.identify(letter, seen.identity).ok() || !port_.listRoot(letter, root).ok()) return Look::NotReady;
    const StickItem* autorun = findInRoot(root, kAutorunName);
    if (autorun == nullptr || !autorun->plainFile()) return Look::Ready;
    std::string bytes;
    if (!port_.readStart(pathOn(letter, autorun->name), kAutorunReadLimit, bytes).ok()) return Look::Changing;
    const ItemLookup below = [this, letter](std::wstring_view relative) -> std::optional<StickItem> {
        StickItem item;
        if (!port_.itemAt(pathOn(letter, relative), item).ok()) return std::nullopt;
        return item;
    };
    seen.threats = findThreats(readAutorunEntries(bytes, port_), root, below, letter);
    for (const StickThreat& threat : seen.threats) {
        FileFacts facts;
        if (!port_.fileFacts(pathOn(letter, threat.relative), facts).ok()) return Look::Changing;
        seen.facts.push_back(facts);
    }
    return Look::Ready;
}

StickCheck::Outcome StickCheck::check(wchar_t letter) {
    for (int round = 0; round < kRounds; ++round) {
        Seen seen;
        const Look looked = look(letter, seen);
        if (looked == Look::NotReady) return Outcome::NotReady;
        if (looked == Look::Changing) continue;
        Remembered& remembered = sticks_[letter];
        if (!(remembered.identity == seen.identity)) remembered = {seen.identity, {}, false};
        if (seen.threats.empty()) {
            remembered.left.clear();
            return Outcome::Clean;
        }
        const bool retry = std::all_of(seen.threats.begin(), seen.threats.end(), [&](const StickThreat& threat) {
            return remembered.left.count(pathOn(letter, threat.relative)) != 0;
        });
        if (retry) return act(letter, seen);

        for (const StickThreat& threat : seen.threats) {
            rt_.report({EventKind::ThreatDetected, pathOn(letter, threat.relative)});
        }
        rt_.message(driveName(letter) + L" sürücüsünde virüs tespit edildi!", L"Virüs Bulundu!", MessageIcon::Error);
        // The box may have stood open for hours: act only on the same stick and the same files.
        Seen now;
        const Look again = look(letter, now);
        if (again == Look::NotReady) return Outcome::NotReady;
        const bool same = again == Look::Ready && now.identity == seen.identity && now.threats.size() == seen.threats.size() &&
                          std::equal(now.facts.begin(), now.facts.end(), seen.facts.begin(), sameFile) &&
                          std::equal(now.threats.begin(), now.threats.end(), seen.threats.begin(),
                                     [](const StickThreat& a, const StickThreat& b) { return a.relative == b.relative; });
        if (same) return act(letter, seen);
    }
    return Outcome::Unsettled;
}

StickCheck::Outcome StickCheck::act(wchar_t letter, const Seen& seen) {
    Remembered& remembered = sticks_[letter];
    bool autorunMoved = false;
    bool unsettled = false;
    for (std::size_t i = 0; i < seen.threats.size(); ++i) {
        const std::wstring path = pathOn(letter, seen.threats[i].relative);
        const bool quiet = remembered.left.count(path) != 0;
        if (!quiet) detections_.append(path);
        const MoveResult moved = moveToQuarantine(port_, path, seen.identity.volume, &seen.facts[i]);
        if (moved.outcome == MoveOutcome::Moved) {
            rt_.report({EventKind::MovedToQuarantine, path, 0, moved.hash});
            remembered.left.erase(path);
            autorunMoved = autorunMoved || i == 0;
            continue;
        }
        if (moved.outcome == MoveOutcome::Changed) {
            unsettled = true;  // not the file the user was told of: the next check decides
            continue;
        }
        if (moved.outcome == MoveOutcome::Failed) {
            // A stick pulled out ends the check quietly.
            StickIdentity identity;
            if (!port_.identify(letter, identity).ok() || !(identity == seen.identity)) {
                rt_.report({EventKind::ThreatNotRemoved, path, moved.error.error});
                leave(driveName(letter), kReasonRemoved);
                return Outcome::NotReady;
            }
        }
        if (quiet) continue;
        remembered.left.insert(path);
        std::wstring_view reason;
        std::wstring why;
        switch (moved.outcome) {
        case MoveOutcome::TooLarge: leave(path, kReasonTooLarge); continue;  // no worm: no box
        case MoveOutcome::QuarantineFull:
            reason = kReasonQuarantineFull;
            why = L"Karantina 256 MiB sınırına ulaştı; program karantinadan hiçbir şey silmez.";
            break;
        case MoveOutcome::DiskLow:
            reason = kReasonDiskLow;
            why = L"Karantinanın sürücüsünde 1 GiB'den az boş yer kalırdı.";
            break;
        default:
            rt_.report({EventKind::ThreatNotRemoved, path, moved.error.error});
            why = rt_.errorReason(moved.error.error);
            break;
        }
        if (!reason.empty()) leave(path, reason);
        if (!remembered.failureShown) {
            remembered.failureShown = true;
            rt_.message(failureText(kNotDeletedSentence, path, why), L"Hata", MessageIcon::Error);
        }
    }
    if (autorunMoved && vaccinating_) vaccinate(letter);
    if (!remembered.left.empty()) return Outcome::Left;
    return unsettled ? Outcome::Unsettled : Outcome::Cleaned;
}

void StickCheck::vaccinate(wchar_t letter) {
    std::vector<StickItem> root;
    StickIdentity identity;
    if (!port_.identify(letter, identity).ok() || !port_.listRoot(letter, root).ok()) return;
    const std::wstring drive = driveName(letter);
    if (isBitLockerDiscoveryVolume(root)) return leave(drive, kReasonBitLocker);
    if (const StickItem* autorun = findInRoot(root, kAutorunName)) {
        // A folder of that name is the vaccination already; a file is the stick's own, if harmless.
        if (autorun->plainFile()) leave(drive, kReasonHarmlessAutorun);
        return;
    }
    if (port_.makeHiddenFolder(pathOn(letter, kVaccineName)).ok()) {
        rt_.report({EventKind::StickVaccinated, drive});
    } else {
        leave(drive, kReasonNotWritable);
    }
}

void StickCheck::leave(std::wstring_view subject, std::wstring_view reason) {
    rt_.report({EventKind::LeftAsItIs, subject, 0, reason});
}

}  // namespace dva::stick
