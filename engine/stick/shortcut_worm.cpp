#include "stick/shortcut_worm.h"

#include <algorithm>
#include <array>
#include <set>
#include <utility>

#include "stick/launch_words.h"

namespace dva::stick {
namespace {

// Whether the word names a host that runs files, and whether that host is the command processor,
// which opens a document it is handed instead of running it.
bool isHost(std::wstring_view word) { return findHost(word) != nullptr; }
bool isCommandProcessor(std::wstring_view word) {
    const Host* host = findHost(word);
    return host != nullptr && host->argument == HostArgument::CommandShell;
}

// Items of a stick that the program never changes.
constexpr std::array<std::wstring_view, 9> kNeverTouched{
    L"System Volume Information", L"$RECYCLE.BIN", L"RECYCLER", kVaccineName, L".Trashes",
    L".Spotlight-V100",           L".fseventsd",   L"desktop.ini", L"Thumbs.db"};

bool neverTouched(const StickItem& item) {
    return item.reparsePoint() || std::any_of(kNeverTouched.begin(), kNeverTouched.end(), [&](std::wstring_view name) {
               return sameName(item.name, name);
           });
}

// The path from the stick's root that `word` names: a path on the stick's own letter, or one
// without a drive, from the root. nullopt for the root itself and for anything outside the stick.
std::optional<std::wstring> onStick(std::wstring_view word, wchar_t letter) {
    StickPath path = locate(word, letter);
    if (!path.onStick || path.relative.empty()) return std::nullopt;
    return std::move(path.relative);
}

// At most this many paths below the root are looked at for one shortcut: each costs a query
// of the stick, and a worm needs one or two.
constexpr int kMaxDeeperLooks = 32;

// The item at a path from the root, the path spelled as the listing spells its root name: a root
// item from the listing; a deeper one through its root folder, never through a reparse point,
// while `deeperLooks` lasts.
std::optional<FoundItem> find(const StickRoot& root, std::wstring_view path, int& deeperLooks) {
    const std::size_t slash = path.find(L'\\');
    const StickItem* top = root.item(path.substr(0, slash));
    if (!top) return std::nullopt;
    if (slash == std::wstring_view::npos) return FoundItem{top->name, *top};
    if (!top->folder() || top->reparsePoint() || deeperLooks <= 0) return std::nullopt;
    --deeperLooks;
    std::optional<StickItem> item = root.below(path);
    if (!item) return std::nullopt;
    return FoundItem{top->name + std::wstring(path.substr(slash)), std::move(*item)};
}

// A list of names, each once whatever its letter case.
class NameList {
public:
    void add(const std::wstring& name) {
        if (seen_.insert(foldedName(name)).second) names_.push_back(name);
    }
    std::vector<std::wstring>&& take() { return std::move(names_); }

private:
    std::vector<std::wstring> names_;
    std::set<std::wstring> seen_;
};

}  // namespace

bool pathWithin(std::wstring_view path, std::wstring_view item) {
    return sameName(path, item) ||
           (path.size() > item.size() && path[item.size()] == L'\\' && sameName(path.substr(0, item.size()), item));
}

StickRoot::StickRoot(wchar_t letter, std::vector<StickItem> items, ItemLookup below)
    : letter_(letter), items_(std::move(items)), below_(std::move(below)) {
    byName_.reserve(items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i) byName_.emplace_back(foldedName(items_[i].name), i);
    std::sort(byName_.begin(), byName_.end());
}

const StickItem* StickRoot::item(std::wstring_view name) const {
    const std::wstring key = foldedName(name);
    const auto it = std::lower_bound(byName_.begin(), byName_.end(), key,
                                     [](const auto& entry, const std::wstring& k) { return entry.first < k; });
    return it != byName_.end() && it->first == key ? &items_[it->second] : nullptr;
}

std::optional<ShortcutWorm> judgeShortcut(const ShellLink& link, std::wstring_view shortcutName,
                                          const StickRoot& root) {
    constexpr std::wstring_view kShortcut = L".lnk";
    if (shortcutName.size() <= kShortcut.size() || !endsWithName(shortcutName, kShortcut)) return std::nullopt;
    if (root.item(kBitLockerReader)) return std::nullopt;
    const std::wstring_view standIn = shortcutName.substr(0, shortcutName.size() - kShortcut.size());
    const StickItem* standInItem = root.item(standIn);
    const bool standInHidden = standInItem && (standInItem->attributes & kAttrHidden) && !neverTouched(*standInItem);

    // What it starts: a host, or a program or script on the stick, hidden or system.
    bool host = false;
    bool commandProcessorOnly = true;  // the command processor opens documents, other hosts run them
    std::vector<std::wstring> runs;    // the stick's programs and scripts it runs, from the root
    std::vector<FoundItem> hiddenRuns;
    int deeperLooks = kMaxDeeperLooks;
    const auto hiddenProgram = [](const std::optional<FoundItem>& found) {
        return found && !found->item.folder() && found->item.hiddenOrSystem() && !neverTouched(found->item);
    };
    for (const LinkTarget& target : link.targets) {
        if (isHost(target.path)) {
            host = true;
            commandProcessorOnly = commandProcessorOnly && isCommandProcessor(target.path);
            continue;
        }
        const std::optional<std::wstring> path = onStick(target.path, root.letter());
        if (!path || !isProgramName(*path)) continue;
        runs.push_back(*path);
        if (std::optional<FoundItem> found = find(root, *path, deeperLooks); hiddenProgram(found))
            hiddenRuns.push_back(std::move(*found));
    }
    if (!host && hiddenRuns.empty()) return std::nullopt;

    // What a host is told to run, and the root folders it opens; every word counts.
    NameList opened;
    if (host) {
        const std::vector<std::wstring> words = argumentWords(link.arguments);
        for (const std::wstring& word : words) {
            if (isHost(word) && !isCommandProcessor(word)) commandProcessorOnly = false;
        }
        std::set<std::wstring> looked;  // each path once, however often it is named
        for (const std::wstring& word : words) {
            const std::optional<std::wstring> path = onStick(word, root.letter());
            if (!path || sameName(*path, shortcutName) || !looked.insert(foldedName(*path)).second) continue;
            std::optional<FoundItem> found = find(root, *path, deeperLooks);
            if (!found) continue;
            if (found->item.folder()) {
                const bool inRoot = path->find(L'\\') == std::wstring::npos;
                if (inRoot && found->item.hiddenOrSystem() && !neverTouched(found->item)) opened.add(found->relative);
                continue;
            }
            if (!isProgramName(*path) && commandProcessorOnly) continue;
            runs.push_back(*path);
            if (hiddenProgram(found)) hiddenRuns.push_back(std::move(*found));
        }
    }

    if (hiddenRuns.empty() && !standInHidden) return std::nullopt;
    // A portable program's shortcut in front of its own folder.
    if (!runs.empty() && std::all_of(runs.begin(), runs.end(), [&](const std::wstring& p) { return pathWithin(p, standIn); }))
        return std::nullopt;

    NameList wormFiles;
    for (const FoundItem& worm : hiddenRuns) {
        if (!pathWithin(worm.relative, standIn)) wormFiles.add(worm.relative);
    }
    NameList hiddenItems;
    if (standInItem && standInItem->hiddenOrSystem() && !neverTouched(*standInItem))
        hiddenItems.add(standInItem->name);
    for (const std::wstring& name : opened.take()) hiddenItems.add(name);
    return ShortcutWorm{wormFiles.take(), hiddenItems.take()};
}

}  // namespace dva::stick
