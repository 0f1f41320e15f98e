// The program's own reader of Windows shortcut files (.lnk, the Shell Link binary format). A
// shortcut on a stick is hostile input, and the program runs elevated: it is read here, within its
// own bytes, rather than handed to the shell, whose loader would pass crafted item lists on to the
// namespace extensions they name. The reader gives back every target the shell might start and
// the shortcut's strings; anything that runs past its file or its block, or does not add up, is
// "not a shortcut we can read".
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dva {

// Where in the shortcut a target was found. The shell may start any of them, so every one counts.
enum class LinkTargetSource {
    LinkInfo,          // the link information's local path: base path followed by the common suffix
    NetworkShare,      // the link information's share name, a backslash, the common suffix
    ItemList,          // the target item list's drive and file-system items, by long name: a hint,
                       // as the items' data is opaque and their names need not match the disk's
    EnvironmentBlock,  // the environment-variable block's path, its %variables% left unexpanded
    VistaItemList,     // the item list of the block that stands in for the target list, likewise a hint
};

struct LinkTarget {
    LinkTargetSource source;
    std::wstring path;

    bool operator==(const LinkTarget&) const = default;
};

// A shortcut as read. Strings the shortcut does not have are empty.
struct ShellLink {
    std::vector<LinkTarget> targets;  // in the order they stand in the file
    std::wstring name;                // the comment
    std::wstring relativePath;
    std::wstring workingDir;
    std::wstring arguments;           // up to 65,535 characters
    std::wstring iconLocation;
};

// Turns a single-byte string of a shortcut, written in the ANSI code page of the PC that made it,
// into UTF-16. The stick check passes its port's conversion, the system's own.
using AnsiDecoder = std::function<std::wstring(std::string_view)>;

// Each byte as the character of the same number (ISO 8859-1): right for ASCII, the bytes kept for
// the rest. The default where no code page is at hand (the unit tests).
std::wstring widenBytes(std::string_view bytes);

// A file larger than this is no shortcut the reader reads: the caller reads at most one byte more.
inline constexpr std::size_t kMaxShellLinkBytes = 1024 * 1024;

// Reads a whole shortcut file. nullopt: not a shortcut we can read.
std::optional<ShellLink> readShellLink(std::span<const std::uint8_t> file, const AnsiDecoder& ansi = widenBytes);

}  // namespace dva
