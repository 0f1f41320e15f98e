// The shortcut worm of USB sticks: it hides the user's folders and files in the stick's root and
// puts a shortcut of the same name beside each (or one in front of a single hidden folder), which
// starts the worm, a program or script hidden on the stick, and then opens the real item. This
// decides, for one shortcut in the root, whether it is such a worm's, which worm files it runs and
// which hidden items are to be made visible again.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "stick/shell_link.h"
#include "stick/stick_rules.h"

namespace dva::stick {

// What the rule sees of a stick: its letter and its root listing, indexed once for all the
// shortcuts of one stick check (a root may hold 20,000 entries). `below`, if given, tells about a
// path below the root that a shortcut names: one attribute query, not a listing.
class StickRoot {
public:
    StickRoot(wchar_t letter, std::vector<StickItem> items, ItemLookup below = {});

    wchar_t letter() const { return letter_; }
    // The root item of that name, compared without regard to case; nullptr if there is none.
    const StickItem* item(std::wstring_view name) const;
    std::optional<StickItem> below(std::wstring_view path) const { return below_ ? below_(path) : std::nullopt; }

private:
    wchar_t letter_;
    std::vector<StickItem> items_;
    ItemLookup below_;
    std::vector<std::pair<std::wstring, std::size_t>> byName_;  // case-folded names, sorted
};

// What a worm's shortcut involves besides itself. Paths are from the stick's root, root names
// spelled as the listing spells them.
struct ShortcutWorm {
    std::vector<std::wstring> wormFiles;    // hidden or system programs and scripts it runs, in order
    std::vector<std::wstring> hiddenItems;  // root items to make visible again: the one it stands in
                                            // for, then root folders its arguments open

    bool operator==(const ShortcutWorm&) const = default;
};

// Whether `path` (from the root) is the item `item` or lies inside it, compared without regard to case.
bool pathWithin(std::wstring_view path, std::wstring_view item);

// Judges the root shortcut `shortcutName` ("Belgeler.lnk"), read as `link`. nullopt: not a worm's.
std::optional<ShortcutWorm> judgeShortcut(const ShellLink& link, std::wstring_view shortcutName,
                                          const StickRoot& root);

}  // namespace dva::stick
