#include "stick/shell_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "shortcut_bytes.h"
#include "test_data.h"

namespace dva::test {
namespace {

using File = std::vector<std::uint8_t>;

// Reads from a copy of exactly the file's size, so that AddressSanitizer stops any read past it.
std::optional<ShellLink> read(const File& file) {
    const File exact(file.begin(), file.end());
    return readShellLink(exact);
}

const std::wstring kCmd = L"C:\\windows\\system32\\cmd.exe";
const std::wstring kWorm = L"/c start x.vbs & start explorer Belgeler";

// The published sample of the format: a shortcut to C:\test\a.txt, with where its parts start.
const char* const kSample = "reference-sample.lnk";
constexpr std::size_t kSampleLinkInfo = 0x10B;
constexpr std::size_t kSampleStrings = 0x147;
constexpr std::size_t kSampleTrackerBlock = 0x167;

TEST(ShellLinkTest, RealShortcutsGiveTheirTargetsAndStrings) {
    using enum LinkTargetSource;
    struct Case {
        const char* file;
        std::vector<LinkTarget> targets;
        std::wstring arguments;
    };
    const Case cases[] = {
        {kSample, {{ItemList, L"C:\\test\\a.txt"}, {LinkInfo, L"C:\\test\\a.txt"}}, L""},
        {"ishelllink-wscript.lnk",
         {{ItemList, L"C:\\windows\\system32\\wscript.exe"}, {LinkInfo, L"C:\\windows\\system32\\wscript.exe"}},
         L"x.vbs"},
        {"wscript-shell-cmd.lnk", {{ItemList, kCmd}, {LinkInfo, kCmd}}, kWorm},
        {"ishelllink-padded-arguments.lnk", {{ItemList, kCmd}, {LinkInfo, kCmd}},
         std::wstring(300, L' ') + L"\r\n\r\n" + kWorm},
        {"environment-target-only.lnk", {{EnvironmentBlock, L"%SystemRoot%\\system32\\cmd.exe"}}, L"/c start x.vbs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::optional<ShellLink> link = read(testData(c.file));
        ASSERT_TRUE(link);
        EXPECT_EQ(link->targets, c.targets);
        EXPECT_EQ(link->arguments, c.arguments);
    }
    // Every string in its place, counted in characters.
    const ShellLink sample = *read(testData(kSample));
    EXPECT_EQ(sample.relativePath, L".\\a.txt");
    EXPECT_EQ(sample.workingDir, L"C:\\test");
    EXPECT_EQ(sample.name + sample.iconLocation, L"");
    const ShellLink made = *read(testData("wscript-shell-cmd.lnk"));
    EXPECT_EQ(made.name, L"Belgeler");
    EXPECT_EQ(made.iconLocation, L"%SystemRoot%\\system32\\shell32.dll");
}

// The sample with its link information replaced by one whose header has the Unicode offsets
// (0x24 bytes), so that the Unicode base path is the one the shell uses, and that also names a
// network share. `unicodeBaseAt` and `shareSize` replace the right values where they are not 0.
File withUnicodeLinkInfo(std::uint32_t unicodeBaseAt = 0, std::uint32_t shareSize = 0) {
    File info(0x24, 0);
    const auto here = [&] { return static_cast<std::uint32_t>(info.size()); };
    const auto append = [&](std::string_view ansi) {
        info.insert(info.end(), ansi.begin(), ansi.end());
        info.push_back(0);
    };
    put32(info, 4, 0x24);
    put32(info, 8, 3);  // volume id and local base path, network link
    put32(info, 12, here());  // volume id: 0x11 bytes, an empty label
    info.resize(info.size() + 0x11);
    put32(info, 0x24, 0x11);
    put32(info, 0x24 + 12, 0x10);
    put32(info, 16, here());
    append("E:\\x");  // the ANSI base path, not used
    put32(info, 20, here());  // network link: 0x14 bytes, then the share's name
    const std::uint32_t share = here();
    info.resize(info.size() + 0x14);
    put32(info, share + 8, 0x14);
    append("\\\\server\\share");
    put32(info, share, shareSize ? shareSize : here() - share);
    put32(info, 24, here());
    append("");  // the common suffix: empty
    put32(info, 28, unicodeBaseAt ? unicodeBaseAt : here());
    for (char16_t c : std::u16string(u"E:\\Belgeler\\ğ.vbs"))
        info.insert(info.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
    info.insert(info.end(), {0, 0});
    put32(info, 0, here());
    File file = testData(kSample);
    file.erase(file.begin() + kSampleLinkInfo, file.begin() + kSampleStrings);
    file.insert(file.begin() + kSampleLinkInfo, info.begin(), info.end());
    return file;
}

// The sample with a block that carries an item list in place of the target list (Vista and
// later write one): its items, here the sample's own, with `change` bytes more (zeros) or fewer.
File withVistaItemList(std::ptrdiff_t change = 0) {
    File file = testData(kSample);
    File block(8, 0);
    block.insert(block.end(), file.begin() + 0x4E, file.begin() + kSampleLinkInfo + std::min<std::ptrdiff_t>(change, 0));
    block.resize(block.size() + static_cast<std::size_t>(std::max<std::ptrdiff_t>(change, 0)));
    put32(block, 0, static_cast<std::uint32_t>(block.size()));
    put32(block, 4, 0xA000000C);
    file.insert(file.begin() + kSampleTrackerBlock, block.begin(), block.end());
    return file;
}

TEST(ShellLinkTest, PartsOnlySomeShortcutsHaveAreRead) {
    using enum LinkTargetSource;
    const std::optional<ShellLink> unicode = read(withUnicodeLinkInfo());
    ASSERT_TRUE(unicode);
    EXPECT_EQ(unicode->targets, (std::vector<LinkTarget>{{ItemList, L"C:\\test\\a.txt"},
                                                         {LinkInfo, L"E:\\Belgeler\\ğ.vbs"},
                                                         {NetworkShare, L"\\\\server\\share"}}));
    EXPECT_EQ(unicode->workingDir, L"C:\\test");
    const std::optional<ShellLink> vista = read(withVistaItemList());
    ASSERT_TRUE(vista);
    EXPECT_EQ(vista->targets.back(), (LinkTarget{VistaItemList, L"C:\\test\\a.txt"}));
    // The item list gives a folder's long name, from its extension block, over its short one.
    File longName = testData(kSample);
    longName[0xBB] = 'x';  // the folder's long name "test" becomes "tesx"
    const std::optional<ShellLink> renamed = read(longName);
    ASSERT_TRUE(renamed);
    EXPECT_EQ(renamed->targets.front(), (LinkTarget{ItemList, L"C:\\tesx\\a.txt"}));
}

TEST(ShellLinkTest, BrokenShortcutsAreNotReadable) {
    for (const char* name : {kSample, "ishelllink-wscript.lnk", "wscript-shell-cmd.lnk",
                             "ishelllink-padded-arguments.lnk", "environment-target-only.lnk"}) {
        const File whole = testData(name);
        for (std::size_t size = 0; size < whole.size(); ++size) {
            EXPECT_FALSE(read(File(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size))))
                << name << " cut to " << size << " bytes";
        }
    }
    const File sample = testData(kSample);
    // Bytes after the terminal block are not the shortcut's, up to the size limit.
    File padded = sample;
    padded.resize(kMaxShellLinkBytes);
    EXPECT_TRUE(read(padded));
    padded.push_back(0);
    EXPECT_FALSE(read(padded));

    const auto patched = [&](std::size_t at, std::uint32_t value, int width = 4) {
        File file = sample;
        for (int i = 0; i < width; ++i) file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return file;
    };
    struct Case {
        const char* what;
        File file;
    };
    const Case cases[] = {
        {"header size", patched(0, 0x4D)},
        {"class id", patched(4, 0x00021402)},
        {"item list one item short of its size", patched(0x4C, 0xBB, 2)},
        {"item past its list", patched(0xC1, 0x60, 2)},
        {"link information past the file", patched(kSampleLinkInfo, 0x1000)},
        {"local base path outside the link information", patched(kSampleLinkInfo + 16, 0x3C)},
        {"common suffix outside the link information", patched(kSampleLinkInfo + 24, 0x1000)},
        {"volume id past the link information", patched(kSampleLinkInfo + 0x1C, 0x30)},
        {"link header size between the two kinds", patched(kSampleLinkInfo + 4, 0x20)},
        {"Unicode header over the ANSI offsets", patched(kSampleLinkInfo + 4, 0x24)},
        {"Unicode base path outside the link information", withUnicodeLinkInfo(0x1000)},
        {"string count past the end", patched(kSampleStrings, 0xFFFF, 2)},
        {"block size past the end", patched(kSampleTrackerBlock, 0x1000)},
        {"block smaller than its header", patched(kSampleTrackerBlock, 6)},
        {"environment block of another size", patched(kSampleTrackerBlock + 4, 0xA0000001)},
        {"share's link past the link information", withUnicodeLinkInfo(0, 0x100)},
        {"block's item list without its end", withVistaItemList(-2)},
        {"block's item list with bytes after its end", withVistaItemList(2)},
    };
    for (const Case& c : cases) EXPECT_FALSE(read(c.file)) << c.what;
}

// A bounded fuzz run: the real shortcuts, mutated, are read or refused; never read past their
// bytes (AddressSanitizer) nor into undefined behaviour (UndefinedBehaviorSanitizer).
TEST(ShellLinkFuzz, MutatedShortcutsAreReadOrRefusedWithinTheirBytes) {
    const std::vector<File> seeds = {testData(kSample), testData("ishelllink-wscript.lnk"),
                                     testData("wscript-shell-cmd.lnk"), testData("ishelllink-padded-arguments.lnk"),
                                     testData("environment-target-only.lnk"), withUnicodeLinkInfo(),
                                     withVistaItemList()};
    constexpr int kCases = 10000;
    std::mt19937 random(2026);
    const auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const std::uint32_t edges[] = {0, 1, 2, 3, 4, 0x1C, 0x24, 0x4C, 0x7F, 0x80, 0xFF, 0x314, 0xFFFF, 0x10000, 0xFFFFFFFF};
    int readable = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < kCases; ++n) {
        File file = seeds[below(seeds.size())];
        const int mutations = 1 + static_cast<int>(below(4));
        for (int m = 0; m < mutations && !file.empty(); ++m) {
            const std::size_t at = below(file.size());
            switch (below(5)) {
            case 0: file[at] ^= static_cast<std::uint8_t>(1u << below(8)); break;
            case 1: file[at] = static_cast<std::uint8_t>(below(256)); break;
            case 2: {  // a size, count or offset set to an edge value
                const std::uint32_t edge = edges[below(std::size(edges))];
                for (std::size_t i = 0; i < 4 && at + i < file.size(); ++i)
                    file[at + i] = static_cast<std::uint8_t>(edge >> (8 * i));
                break;
            }
            case 3: file.resize(at); break;
            default: file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), below(16) + 1,
                                 static_cast<std::uint8_t>(below(256)));
            }
        }
        if (read(file)) ++readable;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("shortcut reader fuzz run: %d cases (%d still readable) in %lld ms\n", kCases, readable,
                static_cast<long long>(ms.count()));
    EXPECT_GT(readable, 0);
    EXPECT_LT(readable, kCases);
}

}  // namespace
}  // namespace dva::test
