// Which files on a stick's root are threats: the stick's autorun.inf when an entry of it starts a
// worm file (or names a worm of the threat table that is gone), and the worm files it starts.
// A user's own file is never one: documents, visible programs, anything outside the stick,
// folders and reparse points never are, and a BitLocker To Go discovery volume is never touched.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "autorun_file.h"
#include "launch_words.h"

namespace dva::stick {

// One item of a stick, as the system's folder listing gives it.
struct StickItem {
    std::wstring name;  // as the listing spells it
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    std::uint64_t writeTime = 0;  // in the system's file time units
    bool folder() const { return (attributes & kAttrDirectory) != 0; }
    bool reparsePoint() const { return (attributes & kAttrReparsePoint) != 0; }
    bool hiddenOrSystem() const { return (attributes & (kAttrHidden | kAttrSystem)) != 0; }
    // A plain file: neither a folder nor a link of any kind.
    bool plainFile() const { return !folder() && !reparsePoint(); }
};

// The item at a path below the root (components joined by '\'), or nothing when there is none.
using ItemLookup = std::function<std::optional<StickItem>(std::wstring_view relative)>;

// The root's autorun.inf, the file the rules start from.
inline constexpr std::wstring_view kAutorunName = L"autorun.inf";
// The vaccination: a folder of the autorun file's name, which no worm can write over.
inline constexpr std::wstring_view kVaccineName = L"AUTORUN.INF";
// The root file of a BitLocker To Go discovery volume.
inline constexpr std::wstring_view kBitLockerReader = L"BitLockerToGo.exe";

// Whether the name is one a threat of the threat table leaves in a drive's root (RavMon.exe, ...),
// autorun.inf aside.
bool isThreatTableRootName(std::wstring_view name);

// A root item by name, or nullptr.
const StickItem* findInRoot(const std::vector<StickItem>& root, std::wstring_view name);

// An item found at a path from the root.
struct FoundItem {
    std::wstring relative;  // from the root, as the listing spells each component
    StickItem item;
};
// A threat is a file the rules found on the stick.
using StickThreat = FoundItem;

// The threats of a stick: its autorun.inf first, then the worm files in the order its entries
// start them; empty when the stick is clean. `entries` are the autorun.inf's, `root` the root
// listing, `below` finds the items of deeper paths (never through a reparse point).
std::vector<StickThreat> findThreats(const std::vector<AutorunEntry>& entries, const std::vector<StickItem>& root,
                                     const ItemLookup& below, wchar_t letter);

// A root that must never be written to: a BitLocker To Go discovery volume.
bool isBitLockerDiscoveryVolume(const std::vector<StickItem>& root);

}  // namespace dva::stick
