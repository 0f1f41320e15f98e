#include "stick/shell_link.h"

#include <algorithm>
#include <array>
#include <utility>

namespace dva {
namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint32_t kHeaderSize = 0x4C;
// 00021401-0000-0000-C000-000000000046, as it is stored.
constexpr std::array<std::uint8_t, 16> kShellLinkClassId{0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                         0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Link flags: which parts follow the header.
constexpr std::uint32_t kHasTargetIdList = 0x01;
constexpr std::uint32_t kHasLinkInfo = 0x02;
constexpr std::uint32_t kIsUnicode = 0x80;
// The string data, in the order the strings stand in the file.
constexpr std::uint32_t kHasName = 0x04;
constexpr std::uint32_t kHasRelativePath = 0x08;
constexpr std::uint32_t kHasWorkingDir = 0x10;
constexpr std::uint32_t kHasArguments = 0x20;
constexpr std::uint32_t kHasIconLocation = 0x40;

// Link information.
constexpr std::uint32_t kLinkInfoShortHeader = 0x1C;  // without the Unicode offsets
constexpr std::uint32_t kLinkInfoLongHeader = 0x24;   // with them
constexpr std::uint32_t kVolumeIdAndLocalBasePath = 0x01;
constexpr std::uint32_t kNetworkLinkAndPathSuffix = 0x02;
constexpr std::uint32_t kVolumeIdMinSize = 0x11;
constexpr std::uint32_t kNetworkLinkMinSize = 0x14;

// Extra data blocks.
constexpr std::uint32_t kEnvironmentSignature = 0xA0000001;
constexpr std::uint32_t kEnvironmentBlockSize = 0x314;
constexpr std::size_t kEnvironmentAnsiAt = 8;
constexpr std::size_t kEnvironmentUnicodeAt = 8 + 260;
constexpr std::uint32_t kVistaItemListSignature = 0xA000000C;
constexpr std::uint32_t kBlockHeaderSize = 8;

// Items of an item list.
constexpr std::uint8_t kItemClassMask = 0x70;
constexpr std::uint8_t kDriveItemClass = 0x20;
constexpr std::uint8_t kFileSystemItemClass = 0x30;
constexpr std::uint8_t kFileSystemItemUnicodeName = 0x04;
constexpr std::size_t kFileSystemItemNameAt = 14;  // size, type, 1 byte, file size, date, attributes
constexpr std::uint32_t kFileEntrySignature = 0xBEEF0004;

bool fits(Bytes b, std::size_t at, std::size_t count) { return at <= b.size() && count <= b.size() - at; }

// Callers have checked that the bytes are there.
std::uint16_t u16(Bytes b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8); }
std::uint32_t u32(Bytes b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::wstring utf16(Bytes b) {
    std::wstring text(b.size() / 2, L'\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<wchar_t>(u16(b, 2 * i));
    return text;
}

std::string_view chars(Bytes b) { return {reinterpret_cast<const char*>(b.data()), b.size()}; }

// A string ended by a NUL within `b` from `at`: nullopt when there is none before the end.
std::optional<std::wstring> ansiString(Bytes b, std::size_t at, const AnsiDecoder& ansi) {
    if (at >= b.size()) return std::nullopt;
    const Bytes rest = b.subspan(at);
    const auto end = std::find(rest.begin(), rest.end(), std::uint8_t{0});
    if (end == rest.end()) return std::nullopt;
    return ansi(chars(rest.first(static_cast<std::size_t>(end - rest.begin()))));
}

std::optional<std::wstring> unicodeString(Bytes b, std::size_t at) {
    for (std::size_t end = at; fits(b, end, 2); end += 2) {
        if (u16(b, end) == 0) return utf16(b.subspan(at, end - at));
    }
    return std::nullopt;
}

// A fixed-size field holding a string that ends at its first NUL (or fills the field).
std::wstring fixedAnsi(Bytes field, const AnsiDecoder& ansi) {
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return ansi(chars(field.first(static_cast<std::size_t>(end - field.begin()))));
}

std::wstring fixedUnicode(Bytes field) {
    std::size_t units = 0;
    while (units < field.size() / 2 && u16(field, 2 * units) != 0) ++units;
    return utf16(field.first(2 * units));
}

// The long name a file-system item keeps in its file-entry extension block (the last two bytes of
// the item give where that block starts); nullopt when the item has no such block.
std::optional<std::wstring> longName(Bytes item) {
    if (item.size() < kFileSystemItemNameAt + 2) return std::nullopt;
    const std::size_t blockAt = u16(item, item.size() - 2);
    if (blockAt < kFileSystemItemNameAt || !fits(item, blockAt, 8)) return std::nullopt;
    const std::size_t blockSize = u16(item, blockAt);
    const std::uint16_t version = u16(item, blockAt + 2);
    if (u32(item, blockAt + 4) != kFileEntrySignature || !fits(item, blockAt, blockSize)) return std::nullopt;
    // Size, version, signature, two times and a word; from version 7 a word, the file's reference
    // and 8 bytes; from version 3 the size of a localised name; from 8 and from 9 four bytes more.
    std::size_t nameAt = 18;
    if (version >= 7) nameAt += 18;
    if (version >= 3) nameAt += 2;
    if (version >= 8) nameAt += 4;
    if (version >= 9) nameAt += 4;
    return unicodeString(item.subspan(blockAt, blockSize), nameAt);
}

// Reads an item list (items, then a zero size) that fills `list` exactly: false when it does not
// add up. `path` gets the file-system path its drive and file-system items spell, or stays empty
// when the list names something else (a namespace of its own, a network place, no drive).
bool readItemList(Bytes list, const AnsiDecoder& ansi, std::wstring& path) {
    path.clear();
    bool broken = false;  // an item other than a file-system one came after the drive
    std::size_t at = 0;
    for (;;) {
        if (!fits(list, at, 2)) return false;
        const std::size_t size = u16(list, at);
        if (size == 0) break;
        if (size < 3 || !fits(list, at, size)) return false;
        const Bytes item = list.subspan(at, size);
        const std::uint8_t type = item[2];
        const bool driveLetter = size >= 6 && ((item[3] | 0x20) >= 'a' && (item[3] | 0x20) <= 'z') &&
                                 item[4] == ':' && item[5] == '\\';
        if ((type & kItemClassMask) == kDriveItemClass && driveLetter) {
            path = ansi(chars(item.subspan(3, 3)));
            broken = false;
        } else if ((type & kItemClassMask) == kFileSystemItemClass && !path.empty()) {
            std::optional<std::wstring> name = longName(item);
            if (!name || name->empty()) {
                name = (type & kFileSystemItemUnicodeName) ? unicodeString(item, kFileSystemItemNameAt)
                                                           : ansiString(item, kFileSystemItemNameAt, ansi);
            }
            if (!name || name->empty()) {
                broken = true;
            } else {
                if (path.back() != L'\\') path += L'\\';
                path += *name;
            }
        } else if (!path.empty()) {
            broken = true;
        }
        at += size;
    }
    if (at + 2 != list.size()) return false;
    if (broken) path.clear();
    return true;
}

// An offset into a structure of `size` bytes that must point past its header.
bool inside(std::uint32_t offset, std::uint32_t headerSize, std::size_t size) {
    return offset >= headerSize && offset < size;
}

// The common network relative link at `at` of the link information: the share's name.
std::optional<std::wstring> shareName(Bytes info, std::uint32_t at, const AnsiDecoder& ansi) {
    if (!fits(info, at, kNetworkLinkMinSize)) return std::nullopt;
    const std::uint32_t size = u32(info, at);
    if (size < kNetworkLinkMinSize || !fits(info, at, size)) return std::nullopt;
    const Bytes link = info.subspan(at, size);
    const std::uint32_t nameAt = u32(link, 8);
    if (nameAt > kNetworkLinkMinSize) {  // the Unicode offsets follow
        if (size < kNetworkLinkMinSize + 8) return std::nullopt;
        const std::uint32_t unicodeAt = u32(link, kNetworkLinkMinSize);
        if (!inside(unicodeAt, kNetworkLinkMinSize + 8, size)) return std::nullopt;
        return unicodeString(link, unicodeAt);
    }
    if (!inside(nameAt, kNetworkLinkMinSize, size)) return std::nullopt;
    return ansiString(link, nameAt, ansi);
}

// Reads the link information, exactly `info`'s bytes; false when it does not add up.
bool readLinkInfo(Bytes info, const AnsiDecoder& ansi, std::vector<LinkTarget>& targets) {
    const std::uint32_t headerSize = u32(info, 4);
    if (headerSize != kLinkInfoShortHeader && (headerSize < kLinkInfoLongHeader || headerSize > info.size()))
        return false;
    const bool unicode = headerSize >= kLinkInfoLongHeader;
    const std::uint32_t flags = u32(info, 8);
    const auto stringAt = [&](std::uint32_t at) { return inside(at, headerSize, info.size()); };

    // A Unicode string where the header has its offset (0: none), else the ANSI one.
    const auto text = [&](std::uint32_t ansiAt, std::size_t unicodeField) -> std::optional<std::wstring> {
        if (unicode && u32(info, unicodeField) != 0) {
            const std::uint32_t at = u32(info, unicodeField);
            return stringAt(at) ? unicodeString(info, at) : std::nullopt;
        }
        return stringAt(ansiAt) ? ansiString(info, ansiAt, ansi) : std::nullopt;
    };
    const std::optional<std::wstring> suffix = text(u32(info, 24), 32);
    if (!suffix) return false;

    if (flags & kVolumeIdAndLocalBasePath) {
        const std::uint32_t volumeAt = u32(info, 12);
        if (!stringAt(volumeAt) || !fits(info, volumeAt, 4)) return false;
        const std::uint32_t volumeSize = u32(info, volumeAt);
        if (volumeSize < kVolumeIdMinSize || !fits(info, volumeAt, volumeSize)) return false;
        const std::optional<std::wstring> base = text(u32(info, 16), 28);
        if (!base) return false;
        targets.push_back({LinkTargetSource::LinkInfo, *base + *suffix});
    }
    if (flags & kNetworkLinkAndPathSuffix) {
        const std::uint32_t linkAt = u32(info, 20);
        if (!stringAt(linkAt)) return false;
        const std::optional<std::wstring> share = shareName(info, linkAt, ansi);
        if (!share) return false;
        targets.push_back({LinkTargetSource::NetworkShare, suffix->empty() ? *share : *share + L'\\' + *suffix});
    }
    return true;
}

// Reads the extra data blocks from `at` up to the terminal block; false when they do not add up.
bool readExtraData(Bytes file, std::size_t at, const AnsiDecoder& ansi, std::vector<LinkTarget>& targets) {
    for (;;) {
        if (!fits(file, at, 4)) return false;
        const std::uint32_t size = u32(file, at);
        if (size < 4) return true;  // the terminal block; what follows it is not the shortcut's
        if (size < kBlockHeaderSize || !fits(file, at, size)) return false;
        const Bytes block = file.subspan(at, size);
        const std::uint32_t signature = u32(block, 4);
        if (signature == kEnvironmentSignature) {
            if (size != kEnvironmentBlockSize) return false;
            std::wstring target = fixedUnicode(block.subspan(kEnvironmentUnicodeAt));
            if (target.empty()) target = fixedAnsi(block.subspan(kEnvironmentAnsiAt, 260), ansi);
            if (!target.empty()) targets.push_back({LinkTargetSource::EnvironmentBlock, std::move(target)});
        } else if (signature == kVistaItemListSignature) {
            std::wstring path;
            if (!readItemList(block.subspan(kBlockHeaderSize), ansi, path)) return false;
            if (!path.empty()) targets.push_back({LinkTargetSource::VistaItemList, std::move(path)});
        }
        at += size;
    }
}

}  // namespace

std::wstring widenBytes(std::string_view bytes) {
    std::wstring text(bytes.size(), L'\0');
    std::transform(bytes.begin(), bytes.end(), text.begin(),
                   [](char c) { return static_cast<wchar_t>(static_cast<unsigned char>(c)); });
    return text;
}

std::optional<ShellLink> readShellLink(Bytes file, const AnsiDecoder& ansi) {
    if (file.size() > kMaxShellLinkBytes || file.size() < kHeaderSize) return std::nullopt;
    if (u32(file, 0) != kHeaderSize || !std::equal(kShellLinkClassId.begin(), kShellLinkClassId.end(), file.begin() + 4))
        return std::nullopt;
    const std::uint32_t flags = u32(file, 0x14);
    ShellLink link;
    std::size_t at = kHeaderSize;

    if (flags & kHasTargetIdList) {
        if (!fits(file, at, 2)) return std::nullopt;
        const std::size_t size = u16(file, at);
        at += 2;
        std::wstring path;
        if (!fits(file, at, size) || !readItemList(file.subspan(at, size), ansi, path)) return std::nullopt;
        if (!path.empty()) link.targets.push_back({LinkTargetSource::ItemList, std::move(path)});
        at += size;
    }
    if (flags & kHasLinkInfo) {
        if (!fits(file, at, 4)) return std::nullopt;
        const std::uint32_t size = u32(file, at);
        if (size < kLinkInfoShortHeader || !fits(file, at, size)) return std::nullopt;
        if (!readLinkInfo(file.subspan(at, size), ansi, link.targets)) return std::nullopt;
        at += size;
    }

    const bool unicode = (flags & kIsUnicode) != 0;
    const std::pair<std::uint32_t, std::wstring*> strings[] = {
        {kHasName, &link.name},           {kHasRelativePath, &link.relativePath},
        {kHasWorkingDir, &link.workingDir}, {kHasArguments, &link.arguments},
        {kHasIconLocation, &link.iconLocation},
    };
    for (const auto& [flag, text] : strings) {
        if (!(flags & flag)) continue;
        if (!fits(file, at, 2)) return std::nullopt;
        const std::size_t count = u16(file, at);  // characters, not bytes
        const std::size_t bytes = unicode ? 2 * count : count;
        at += 2;
        if (!fits(file, at, bytes)) return std::nullopt;
        *text = unicode ? utf16(file.subspan(at, bytes)) : ansi(chars(file.subspan(at, bytes)));
        // A string ends at a NUL within its count (some writers count the terminating one): what
        // follows never reaches the program started.
        text->resize(std::min(text->size(), text->find(L'\0')));
        at += bytes;
    }

    if (!readExtraData(file, at, ansi, link.targets)) return std::nullopt;
    return link;
}

}  // namespace dva
