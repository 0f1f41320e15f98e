#include "stick/shortcut_worm.h"

#include <algorithm>
#include <array>
#include <set>
#include <utility>

namespace dva {
namespace {

// ---- Launch words ------------------------------------------------------------------------------
// Which files run programs and scripts, and the words of a command line. Private to this file for
// now: the stick check's shared helper of the same kind is meant to take its place.
namespace launch_words {

// Folds letter case as an ordinal comparison without regard to case does: ASCII, Latin-1 and
// Latin Extended-A (the Turkish letters among them), never by a locale's rules (İ and ı stay apart).
wchar_t fold(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c + 0x20);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<wchar_t>(c + 0x20);
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return static_cast<wchar_t>(c | 1);
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? static_cast<wchar_t>(c + 1) : c;
    if (c == 0x178) return 0xFF;
    return c;
}

std::wstring folded(std::wstring_view text) {
    std::wstring result(text);
    std::transform(result.begin(), result.end(), result.begin(), fold);
    return result;
}

bool sameName(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return fold(x) == fold(y); });
}

bool startsWith(std::wstring_view text, std::wstring_view start) {
    return text.size() >= start.size() && sameName(text.substr(0, start.size()), start);
}

bool endsWith(std::wstring_view text, std::wstring_view end) {
    return text.size() >= end.size() && sameName(text.substr(text.size() - end.size()), end);
}

std::wstring_view fileName(std::wstring_view path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

constexpr std::array<std::wstring_view, 13> kProgramExtensions{
    L".exe", L".com", L".scr", L".pif", L".bat", L".cmd", L".vbs", L".vbe", L".js", L".jse", L".wsf", L".ps1", L".dll"};

// Programs that run the files they are given.
constexpr std::array<std::wstring_view, 9> kHosts{L"cmd.exe",     L"wscript.exe",  L"cscript.exe",
                                                  L"powershell.exe", L"pwsh.exe", L"mshta.exe",
                                                  L"rundll32.exe", L"regsvr32.exe", L"msiexec.exe"};

bool isProgramOrScript(std::wstring_view path) {
    return std::any_of(kProgramExtensions.begin(), kProgramExtensions.end(),
                       [&](std::wstring_view extension) { return endsWith(path, extension); });
}

// Whether `path` names a host, with or without its extension; "%ComSpec%" is cmd.exe.
bool isHost(std::wstring_view path) {
    const std::wstring_view name = fileName(path);
    if (sameName(path, L"%ComSpec%")) return true;
    return std::any_of(kHosts.begin(), kHosts.end(), [&](std::wstring_view host) {
        return sameName(name, host) || sameName(name, host.substr(0, host.size() - 4));
    });
}

bool isCommandProcessor(std::wstring_view path) {
    return sameName(fileName(path), L"cmd.exe") || sameName(fileName(path), L"cmd") || sameName(path, L"%ComSpec%");
}

// Every word of a command line that may name a file: each quoted span whole, and every piece
// between blanks, line breaks, quotes and the command processor's operators, its escape
// character (^) dropped. A no-break space is no blank: it is part of a name.
std::vector<std::wstring> words(std::wstring_view line) {
    std::vector<std::wstring> found;
    for (std::size_t open = line.find(L'"'); open != std::wstring_view::npos;) {
        const std::size_t close = line.find(L'"', open + 1);
        const std::wstring_view span = line.substr(open + 1, close == std::wstring_view::npos ? close : close - open - 1);
        if (!span.empty()) found.emplace_back(span);
        open = close == std::wstring_view::npos ? close : line.find(L'"', close + 1);
    }
    std::wstring plain(line);
    plain.erase(std::remove(plain.begin(), plain.end(), L'^'), plain.end());
    constexpr std::wstring_view kBreaks = L" \t\r\n\v\f\"&|<>(),;";
    for (std::size_t at = plain.find_first_not_of(kBreaks); at != std::wstring::npos;
         at = plain.find_first_not_of(kBreaks, at)) {
        const std::size_t end = std::min(plain.find_first_of(kBreaks, at), plain.size());
        found.push_back(plain.substr(at, end - at));
        at = end;
    }
    return found;
}

}  // namespace launch_words
// ------------------------------------------------------------------------------------------------

using namespace launch_words;

// Items of a stick that the program never changes.
constexpr std::array<std::wstring_view, 9> kNeverTouched{
    L"System Volume Information", L"$RECYCLE.BIN", L"RECYCLER", L"AUTORUN.INF", L".Trashes",
    L".Spotlight-V100",           L".fseventsd",   L"desktop.ini", L"Thumbs.db"};
constexpr std::wstring_view kBitLockerToGo = L"BitLockerToGo.exe";  // a BitLocker discovery volume's

bool neverTouched(const StickItem& item) {
    return item.reparsePoint || std::any_of(kNeverTouched.begin(), kNeverTouched.end(), [&](std::wstring_view name) {
               return sameName(fileName(item.name), name);
           });
}

// The path from the stick's root that `word` names: a path on the stick's own letter, or one
// without a drive (from the root: "x.vbs", ".\x.vbs", "\RECYCLER\x.exe"). nullopt for anything
// else: another drive, a share, an environment variable, a URL, a switch.
std::optional<std::wstring> onStick(std::wstring_view word, wchar_t letter) {
    if (word.size() >= 2 && word[1] == L':') {
        if (fold(word[0]) != fold(letter)) return std::nullopt;
        word.remove_prefix(2);
    }
    // A switch ("/c"), or what no file name holds.
    if (word.empty() || word.front() == L'/' || word.find_first_of(L":%") != std::wstring_view::npos ||
        word.substr(0, 2) == L"\\\\")
        return std::nullopt;
    std::vector<std::wstring_view> parts;
    for (std::size_t at = 0; at <= word.size();) {
        const std::size_t end = std::min(word.find_first_of(L"\\/", at), word.size());
        const std::wstring_view part = word.substr(at, end - at);
        if (part == L"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    if (parts.empty()) return std::nullopt;
    std::wstring path(parts.front());
    for (std::size_t i = 1; i < parts.size(); ++i) (path += L'\\') += parts[i];
    return path;
}

// At most this many paths below the root are looked at for one shortcut: each costs a query
// of the stick, and a worm needs one or two.
constexpr int kMaxDeeperLooks = 32;

// The item at a path from the root: a root name from the listing; a deeper one through its root
// folder, never through a reparse point, while `deeperLooks` lasts.
std::optional<StickItem> find(const StickRoot& root, std::wstring_view path, int& deeperLooks) {
    const std::size_t slash = path.find(L'\\');
    const StickItem* top = root.item(path.substr(0, slash));
    if (!top) return std::nullopt;
    if (slash == std::wstring_view::npos) return *top;
    if (!top->folder || top->reparsePoint || deeperLooks <= 0) return std::nullopt;
    --deeperLooks;
    std::optional<StickItem> item = root.deeper(path);
    if (item) item->name = top->name + std::wstring(path.substr(slash));
    return item;
}

bool within(std::wstring_view path, std::wstring_view item) {
    return sameName(path, item) || (startsWith(path, item) && path.size() > item.size() && path[item.size()] == L'\\');
}

// A list of names, each once whatever its letter case.
class NameList {
public:
    void add(const std::wstring& name) {
        if (seen_.insert(folded(name)).second) names_.push_back(name);
    }
    std::vector<std::wstring>&& take() { return std::move(names_); }

private:
    std::vector<std::wstring> names_;
    std::set<std::wstring> seen_;
};

}  // namespace

StickRoot::StickRoot(wchar_t letter, std::vector<StickItem> items, LookDeeper lookDeeper)
    : letter_(letter), items_(std::move(items)), lookDeeper_(std::move(lookDeeper)) {
    byName_.reserve(items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i) byName_.emplace_back(folded(items_[i].name), i);
    std::sort(byName_.begin(), byName_.end());
}

const StickItem* StickRoot::item(std::wstring_view name) const {
    const std::wstring key = folded(name);
    const auto it = std::lower_bound(byName_.begin(), byName_.end(), key,
                                     [](const auto& entry, const std::wstring& k) { return entry.first < k; });
    return it != byName_.end() && it->first == key ? &items_[it->second] : nullptr;
}

std::optional<ShortcutWorm> judgeShortcut(const ShellLink& link, std::wstring_view shortcutName,
                                          const StickRoot& root) {
    constexpr std::wstring_view kShortcut = L".lnk";
    if (shortcutName.size() <= kShortcut.size() || !endsWith(shortcutName, kShortcut)) return std::nullopt;
    if (root.item(kBitLockerToGo)) return std::nullopt;
    const std::wstring_view standIn = shortcutName.substr(0, shortcutName.size() - kShortcut.size());
    const StickItem* standInItem = root.item(standIn);
    const bool standInHidden = standInItem && standInItem->hidden && !neverTouched(*standInItem);

    // What it starts: a host, or a program or script on the stick, hidden or system.
    bool host = false;
    bool commandProcessorOnly = true;  // the command processor opens documents, other hosts run them
    std::vector<std::wstring> runs;    // the stick's programs and scripts it runs, from the root
    std::vector<StickItem> hiddenRuns;
    int deeperLooks = kMaxDeeperLooks;
    const auto hiddenProgram = [](const std::optional<StickItem>& item) {
        return item && !item->folder && (item->hidden || item->system) && !neverTouched(*item);
    };
    for (const LinkTarget& target : link.targets) {
        if (isHost(target.path)) {
            host = true;
            commandProcessorOnly = commandProcessorOnly && isCommandProcessor(target.path);
            continue;
        }
        const std::optional<std::wstring> path = onStick(target.path, root.letter());
        if (!path || !isProgramOrScript(*path)) continue;
        runs.push_back(*path);
        if (const std::optional<StickItem> item = find(root, *path, deeperLooks); hiddenProgram(item))
            hiddenRuns.push_back(*item);
    }
    if (!host && hiddenRuns.empty()) return std::nullopt;

    // What a host is told to run, and the root folders it opens; every word counts.
    NameList opened;
    if (host) {
        const std::vector<std::wstring> argumentWords = words(link.arguments);
        for (const std::wstring& word : argumentWords) {
            if (isHost(word) && !isCommandProcessor(word)) commandProcessorOnly = false;
        }
        std::set<std::wstring> looked;  // each path once, however often it is named
        for (const std::wstring& word : argumentWords) {
            const std::optional<std::wstring> path = onStick(word, root.letter());
            if (!path || sameName(*path, shortcutName) || !looked.insert(folded(*path)).second) continue;
            const std::optional<StickItem> item = find(root, *path, deeperLooks);
            if (!item) continue;
            if (item->folder) {
                if (path->find(L'\\') == std::wstring::npos && (item->hidden || item->system) && !neverTouched(*item))
                    opened.add(item->name);
                continue;
            }
            if (!isProgramOrScript(*path) && commandProcessorOnly) continue;
            runs.push_back(*path);
            if (hiddenProgram(item)) hiddenRuns.push_back(*item);
        }
    }

    if (hiddenRuns.empty() && !standInHidden) return std::nullopt;
    // A portable program's shortcut in front of its own folder.
    if (!runs.empty() && std::all_of(runs.begin(), runs.end(), [&](const std::wstring& p) { return within(p, standIn); }))
        return std::nullopt;

    NameList wormFiles;
    for (const StickItem& item : hiddenRuns) {
        if (!within(item.name, standIn)) wormFiles.add(item.name);
    }
    NameList hiddenItems;
    if (standInItem && (standInItem->hidden || standInItem->system) && !neverTouched(*standInItem))
        hiddenItems.add(standInItem->name);
    for (const std::wstring& name : opened.take()) hiddenItems.add(name);
    return ShortcutWorm{wormFiles.take(), hiddenItems.take()};
}

}  // namespace dva
