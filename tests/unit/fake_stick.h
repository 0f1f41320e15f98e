// Stand-ins for what the stick check needs of the system: a Latin-1 ANSI code page, and the rules
// run over a scripted root listing.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "fake_runtime.h"
#include "stick/autorun_file.h"
#include "stick/stick_rules.h"

namespace dva::test {

// Windows-1252's letters below 0x100 are Latin-1's: enough for a file written in a Western code page.
class Latin1 : public stick::AnsiCodePage {
public:
    std::wstring fromAnsi(std::string_view bytes) const override {
        std::wstring text;
        for (const char c : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
        return text;
    }
};

// The threats the rules find on stick E: for the autorun.inf text, as the listing spells them.
inline std::vector<std::string> threatNames(std::string_view autorun, const std::vector<stick::StickItem>& root,
                                            const std::map<std::wstring, stick::StickItem, std::less<>>& below) {
    const stick::ItemLookup lookup = [&below](std::wstring_view relative) -> std::optional<stick::StickItem> {
        for (const auto& [path, item] : below) {
            if (stick::sameName(path, relative)) return item;
        }
        return std::nullopt;
    };
    std::vector<std::string> names;
    for (const stick::StickThreat& threat : stick::findThreats(stick::readAutorunEntries(autorun, Latin1{}), root, lookup, L'E')) {
        names.push_back(utf8(threat.relative));
    }
    return names;
}

}  // namespace dva::test
