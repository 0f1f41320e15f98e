#include "stick_check.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "failure_text.h"
#include "file_removal.h"
#include "quarantine.h"
#include "shell_link.h"
#include "shortcut_worm.h"

namespace dva::stick {
namespace {

// Rounds of "the stick changed while the box was open: check again" before leaving it to the
// next tick.
constexpr int kRounds = 3;

std::wstring pathOn(wchar_t letter, std::wstring_view relative) { return driveName(letter) + L'\\' + std::wstring(relative); }

bool sameFile(const FileFacts& a, const FileFacts& b) {
    return a.fileId == b.fileId && a.size == b.size && a.written == b.written;
}

// The first words of the error box for an item that could not be made visible again.
constexpr std::wstring_view kNotVisibleSentence = L"Gizlenmiş öğe yeniden görünür yapılamadı: ";

bool isShortcut(const StickItem& item) {
    constexpr std::wstring_view kShortcut = L".lnk";
    return item.plainFile() && item.size <= kMaxShellLinkBytes && item.name.size() > kShortcut.size() &&
           endsWithName(item.name, kShortcut);
}

}  // namespace

std::wstring driveName(wchar_t letter) { return {letter, L':'}; }

StickCheck::Look StickCheck::look(wchar_t letter, Seen& seen) {
    std::vector<StickItem> root;
    if (!port_.identify(letter, seen.identity).ok() || !port_.listRoot(letter, root).ok()) return Look::NotReady;
    const ItemLookup below = [this, letter](std::wstring_view relative) -> std::optional<StickItem> {
        StickItem item;
        if (!port_.itemAt(pathOn(letter, relative), item).ok()) return std::nullopt;
        return item;
    };
    if (const StickItem* autorun = findInRoot(root, kAutorunName); autorun != nullptr && autorun->plainFile()) {
        std::string bytes;
        if (!port_.readStart(pathOn(letter, autorun->name), kAutorunReadLimit, bytes).ok()) return Look::Changing;
        seen.threats = findThreats(readAutorunEntries(bytes, port_), root, below, letter);
        seen.autorunFirst = !seen.threats.empty();
    }
    findShortcutWorms(letter, std::move(root), below, seen);
    addLeftovers(letter, below, seen);
    for (const StickThreat& threat : seen.threats) {
        FileFacts facts;
        if (!port_.fileFacts(pathOn(letter, threat.relative), facts).ok()) return Look::Changing;
        seen.facts.push_back(facts);
    }
    return Look::Ready;
}

void StickCheck::findShortcutWorms(wchar_t letter, std::vector<StickItem> root, const ItemLookup& below, Seen& seen) {
    std::vector<std::wstring> shortcuts;
    for (const StickItem& item : root) {
        if (isShortcut(item)) shortcuts.push_back(item.name);
    }
    if (shortcuts.empty()) return;
    const StickRoot stickRoot(letter, std::move(root), below);
    const AnsiDecoder ansi = [this](std::string_view bytes) { return port_.fromAnsi(bytes); };
    std::vector<std::pair<std::wstring, ShortcutWorm>> worms;
    for (const std::wstring& name : shortcuts) {
        // One that cannot be read now (in use, gone since the listing) is left alone, as is one
        // that is no shortcut the reader reads.
        std::string bytes;
        if (!port_.readStart(pathOn(letter, name), kMaxShellLinkBytes + 1, bytes).ok()) continue;
        const std::optional<ShellLink> link =
            readShellLink(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), ansi);
        if (!link) continue;
        if (std::optional<ShortcutWorm> worm = judgeShortcut(*link, name, stickRoot))
            worms.emplace_back(name, std::move(*worm));
    }

    // Each file once over the whole check; never one inside an item that is given back, whichever
    // shortcut stood in for it.
    std::set<std::wstring> taken;
    for (const StickThreat& threat : seen.threats) taken.insert(foldedName(threat.relative));
    const auto givenBack = [&](std::wstring_view path) {
        return std::any_of(worms.begin(), worms.end(), [&](const auto& worm) {
            return std::any_of(worm.second.hiddenItems.begin(), worm.second.hiddenItems.end(),
                               [&](const std::wstring& item) { return pathWithin(path, item); });
        });
    };
    for (const auto& [name, worm] : worms) {
        const std::size_t shortcut = seen.threats.size();
        seen.threats.push_back({name, *stickRoot.item(name)});
        taken.insert(foldedName(name));
        for (const std::wstring& file : worm.wormFiles) {
            if (givenBack(file) || !taken.insert(foldedName(file)).second) continue;
            const StickItem* inRoot = stickRoot.item(file);
            seen.threats.push_back({file, inRoot ? *inRoot : StickItem{std::wstring(lastComponent(file))}});
        }
        for (const std::wstring& item : worm.hiddenItems) {
            const auto same = [&](const Hidden& h) { return sameName(h.name, item); };
            if (const auto it = std::find_if(seen.hidden.begin(), seen.hidden.end(), same); it != seen.hidden.end()) {
                it->shortcuts.push_back(shortcut);
            } else {
                seen.hidden.push_back({item, {shortcut}});
            }
        }
    }
    // An item that is itself a threat goes to the quarantine, not back to the user.
    std::erase_if(seen.hidden, [&](const Hidden& h) { return taken.count(foldedName(h.name)) != 0; });
}

// A threat that stayed on this stick stays one while it is there, also once what made it one has
// gone (its autorun.inf moved to the quarantine before it): it is retried with the others.
void StickCheck::addLeftovers(wchar_t letter, const ItemLookup& below, Seen& seen) const {
    const auto known = sticks_.find(letter);
    if (known == sticks_.end() || !(known->second.identity == seen.identity)) return;
    const std::wstring drive = driveName(letter) + L'\\';
    for (const std::wstring& path : known->second.left) {
        const std::wstring relative = path.substr(drive.size());
        const bool listed = std::any_of(seen.threats.begin(), seen.threats.end(),
                                        [&](const StickThreat& threat) { return sameName(threat.relative, relative); });
        if (listed) continue;
        if (const std::optional<StickItem> item = below(relative); item && item->plainFile())
            seen.threats.push_back({relative, *item});
    }
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
        // The items to give back as they are now (the user may have shown one meanwhile).
        if (same) return act(letter, now);
    }
    return Outcome::Unsettled;
}

StickCheck::Outcome StickCheck::act(wchar_t letter, const Seen& seen) {
    Remembered& remembered = sticks_[letter];
    bool autorunMoved = false;
    bool unsettled = false;
    std::vector<bool> inQuarantine(seen.threats.size(), false);
    for (std::size_t i = 0; i < seen.threats.size(); ++i) {
        const std::wstring path = pathOn(letter, seen.threats[i].relative);
        const bool quiet = remembered.left.count(path) != 0;
        if (!quiet) detections_.append(path);
        const MoveResult moved = moveToQuarantine(port_, path, seen.identity.volume, &seen.facts[i]);
        if (moved.outcome == MoveOutcome::Moved) {
            rt_.report({EventKind::MovedToQuarantine, path, 0, moved.hash});
            remembered.left.erase(path);
            inQuarantine[i] = true;
            autorunMoved = autorunMoved || (i == 0 && seen.autorunFirst);
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
        showFailure(remembered, kNotDeletedSentence, path, why);
    }
    if (!unhide(letter, seen, inQuarantine, remembered)) return Outcome::NotReady;
    if (autorunMoved && vaccinating_) vaccinate(letter);
    if (!remembered.left.empty()) return Outcome::Left;
    return unsettled ? Outcome::Unsettled : Outcome::Cleaned;
}

bool StickCheck::unhide(wchar_t letter, const Seen& seen, const std::vector<bool>& moved, Remembered& remembered) {
    for (const Hidden& hidden : seen.hidden) {
        if (!std::all_of(hidden.shortcuts.begin(), hidden.shortcuts.end(), [&](std::size_t i) { return moved[i]; }))
            continue;
        const std::wstring path = pathOn(letter, hidden.name);
        const OpResult shown = port_.makeVisible(path);
        if (shown.ok()) {
            rt_.report({EventKind::MadeVisible, path});
            continue;
        }
        StickIdentity identity;
        if (!port_.identify(letter, identity).ok() || !(identity == seen.identity)) {
            leave(driveName(letter), kReasonRemoved);
            return false;
        }
        leave(path, kReasonStillHidden);
        showFailure(remembered, kNotVisibleSentence, path, rt_.errorReason(shown.error));
    }
    return true;
}

void StickCheck::showFailure(Remembered& remembered, std::wstring_view sentence, std::wstring_view path,
                             std::wstring_view why) {
    if (remembered.failureShown) return;
    remembered.failureShown = true;
    rt_.message(failureText(sentence, path, why), L"Hata", MessageIcon::Error);
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
