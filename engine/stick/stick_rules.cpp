#include "stick_rules.h"

#include <algorithm>

#include "threat_table.h"

namespace dva::stick {
namespace {

// The item at a path from the root, each component looked up as the listing spells it; nothing
// when a component is missing or a folder on the way is a reparse point (never followed).
std::optional<FoundItem> itemAt(std::wstring_view relative, const std::vector<StickItem>& root, const ItemLookup& below) {
    const std::size_t cut = relative.find(L'\\');
    const StickItem* first = findInRoot(root, relative.substr(0, cut));
    if (first == nullptr) return std::nullopt;
    FoundItem found{first->name, *first};
    std::wstring_view rest = cut == std::wstring_view::npos ? std::wstring_view{} : relative.substr(cut + 1);
    while (!rest.empty()) {
        if (!found.item.folder() || found.item.reparsePoint()) return std::nullopt;
        const std::size_t at = rest.find(L'\\');
        const std::wstring path = found.relative + L'\\' + std::wstring(rest.substr(0, at));
        rest = at == std::wstring_view::npos ? std::wstring_view{} : rest.substr(at + 1);
        std::optional<StickItem> next = below ? below(path) : std::nullopt;
        if (!next) return std::nullopt;
        found.relative = found.relative + L'\\' + next->name;
        found.item = std::move(*next);
    }
    return found;
}

class Judge {
public:
    Judge(const std::vector<StickItem>& root, const ItemLookup& below, wchar_t letter)
        : root_(root), below_(below), letter_(letter) {}

    // Looks at one word that may start a file. `program`: the file runs whatever its extension.
    void consider(std::wstring_view word, bool program, bool addExe) {
        const StickPath path = locate(word, letter_);
        if (!path.onStick || path.relative.empty()) return;
        std::optional<FoundItem> started = itemAt(path.relative, root_, below_);
        // A program named without its extension is started as the .exe of that name.
        if (!started && addExe && lastComponent(path.relative).find(L'.') == std::wstring_view::npos) {
            started = itemAt(path.relative + L".exe", root_, below_);
        }
        const bool atRoot = path.relative.find(L'\\') == std::wstring::npos;
        if (!started) {
            if (atRoot && isThreatTableRootName(path.relative)) goneWorm_ = true;  // its launcher left behind
            return;
        }
        if (!started->item.plainFile() || sameName(started->relative, kAutorunName)) return;
        const bool tableName = atRoot && isThreatTableRootName(started->item.name);
        const bool hiddenProgram = (program || isProgramName(started->item.name)) && started->item.hiddenOrSystem();
        if (!tableName && !hiddenProgram) return;
        const bool known = std::any_of(worms_.begin(), worms_.end(),
                                       [&](const StickThreat& worm) { return sameName(worm.relative, started->relative); });
        if (!known) worms_.push_back(std::move(*started));
    }

    // Whether the word names a file on the stick, so that the stick's own copy is what runs.
    bool onStick(std::wstring_view word) const {
        const StickPath path = locate(word, letter_);
        if (!path.onStick || path.relative.empty()) return false;
        const auto isFile = [this](const std::wstring& relative) {
            const std::optional<FoundItem> found = itemAt(relative, root_, below_);
            return found && found->item.plainFile();
        };
        return isFile(path.relative) ||
               (lastComponent(path.relative).find(L'.') == std::wstring_view::npos && isFile(path.relative + L".exe"));
    }

    bool goneWorm() const { return goneWorm_; }
    std::vector<StickThreat>& worms() { return worms_; }

private:
    const std::vector<StickItem>& root_;
    const ItemLookup& below_;
    wchar_t letter_;
    bool goneWorm_ = false;
    std::vector<StickThreat> worms_;
};

}  // namespace

bool isThreatTableRootName(std::wstring_view name) {
    constexpr std::wstring_view kRoot = L"C:\\";
    return std::any_of(kThreatTable.begin(), kThreatTable.end(), [name, kRoot](const ThreatEntry& entry) {
        const std::wstring_view path = entry.path;
        return path != kAutoRunPath && path.starts_with(kRoot) &&
               path.find(L'\\', kRoot.size()) == std::wstring_view::npos && sameName(path.substr(kRoot.size()), name);
    });
}

const StickItem* findInRoot(const std::vector<StickItem>& root, std::wstring_view name) {
    const auto it = std::find_if(root.begin(), root.end(), [name](const StickItem& item) { return sameName(item.name, name); });
    return it == root.end() ? nullptr : &*it;
}

bool isBitLockerDiscoveryVolume(const std::vector<StickItem>& root) { return findInRoot(root, kBitLockerReader) != nullptr; }

std::vector<StickThreat> findThreats(const std::vector<AutorunEntry>& entries, const std::vector<StickItem>& root,
                                     const ItemLookup& below, wchar_t letter) {
    const StickItem* autorun = findInRoot(root, kAutorunName);
    if (autorun == nullptr || !autorun->plainFile() || isBitLockerDiscoveryVolume(root)) return {};

    Judge judge(root, below, letter);
    for (const AutorunEntry& entry : entries) {
        const Launch launch = readLaunch(entry.command);
        if (launch.program.empty()) continue;
        // The stick's own file of that name runs before any host of the system.
        if (launch.host == nullptr || judge.onStick(launch.program)) {
            judge.consider(launch.program, false, true);
            continue;
        }
        if (!launch.host->startsFromAutorun) continue;
        for (const HostedWord& hosted : launch.hosted) judge.consider(hosted.word, hosted.anyExtension, false);
    }
    if (judge.worms().empty() && !judge.goneWorm()) return {};
    std::vector<StickThreat> threats{{autorun->name, *autorun}};
    for (StickThreat& worm : judge.worms()) threats.push_back(std::move(worm));
    return threats;
}

}  // namespace dva::stick
