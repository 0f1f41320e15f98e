// Shortcut files for the tests, made from the real ones in tests/unit/data/: a field patched in
// place, or a shortcut that starts a given target with given arguments.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "test_data.h"

namespace dva::test {

inline void put16(std::vector<std::uint8_t>& file, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 2; ++i) file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline void put32(std::vector<std::uint8_t>& file, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A shortcut that starts `target` with `arguments`: environment-target-only.lnk (written by
// IShellLinkW, its target in the environment block as Windows writes that block) with the
// arguments and the block's target replaced. The target is in ASCII.
inline std::vector<std::uint8_t> shortcutStarting(std::wstring_view target, std::wstring_view arguments) {
    std::vector<std::uint8_t> file = testData("environment-target-only.lnk");
    // No item list and no link information: the arguments are the first string after the header.
    constexpr std::size_t kArgumentsAt = 0x4C;
    const std::size_t oldCount = file[kArgumentsAt] | file[kArgumentsAt + 1] << 8;
    std::vector<std::uint8_t> text(2 + 2 * arguments.size());
    put16(text, 0, static_cast<std::uint32_t>(arguments.size()));
    for (std::size_t i = 0; i < arguments.size(); ++i) put16(text, 2 + 2 * i, static_cast<std::uint32_t>(arguments[i]));
    const auto at = file.begin() + static_cast<std::ptrdiff_t>(kArgumentsAt);
    file.erase(at, at + static_cast<std::ptrdiff_t>(2 + 2 * oldCount));
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(kArgumentsAt), text.begin(), text.end());
    // The environment block stands last, before the 4-byte terminal block: 8 bytes of header, the
    // target in 260 ANSI bytes, then in 260 UTF-16 characters.
    constexpr std::size_t kBlockSize = 0x314;
    const std::size_t block = file.size() - 4 - kBlockSize;
    std::fill(file.begin() + static_cast<std::ptrdiff_t>(block + 8), file.end() - 4, std::uint8_t{0});
    for (std::size_t i = 0; i < target.size(); ++i) {
        file[block + 8 + i] = static_cast<std::uint8_t>(target[i]);
        put16(file, block + 8 + 260 + 2 * i, static_cast<std::uint32_t>(target[i]));
    }
    return file;
}

}  // namespace dva::test
