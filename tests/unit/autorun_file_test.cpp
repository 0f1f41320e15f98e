#include "stick/autorun_file.h"

#include <gtest/gtest.h>

#include "fake_stick.h"

namespace dva::stick {
namespace {

using Lines = std::vector<std::string>;


Lines read(std::string_view bytes) {
    Lines lines;
    for (const AutorunEntry& entry : readAutorunEntries(bytes, test::Latin1{})) {
        lines.push_back(test::utf8(entry.section) + "|" + test::utf8(entry.key) + "|" + test::utf8(entry.command));
    }
    return lines;
}

std::string utf16le(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
}

TEST(AutorunFileTest, StartingEntriesOfTheAutoRunSectionsInFileOrder) {
    // CR, LF and CRLF line ends, junk, comments, blanks, keys of every case, other sections.
    const std::string file =
        "garbage before any section\r"
        "[Content]\nopen=notme.exe\n"
        "  [ autorun ]  \r\n"
        "; open=commented.exe\n"
        "icon=RavMon.exe,0\r\nlabel = Stick\n"
        "  OPEN  =   RavMon.exe  \n"
        "this line means nothing\n"
        "shell\\open=Aç\r"
        "shell\\open\\Command = RavMon.exe\r\n"
        "shell\\\\command=none.exe\nopen=\n"
        "[AutoRun.Amd64]\nShellExecute=amvo.exe\n"
        "[AutoRunX]\nopen=notme.exe\n"
        "[AutoRun\nshell\\explore\\command=x.vbs";
    EXPECT_EQ(read(file), (Lines{"autorun|OPEN|RavMon.exe", "autorun|shell\\open\\Command|RavMon.exe",
                                 "AutoRun.Amd64|ShellExecute|amvo.exe", "AutoRun|shell\\explore\\command|x.vbs"}));
    // A label-and-icon file starts nothing.
    EXPECT_EQ(read("[autorun]\r\nlabel=Önyükleme\r\nicon=setup.ico\r\n"), Lines{});
}

TEST(AutorunFileTest, EveryEncodingWindowsReads) {
    using namespace std::string_literals;
    const struct {
        std::string bytes;
        std::string command;  // as UTF-8
    } cases[] = {
        {"\xEF\xBB\xBF[AutoRun]\nopen=\xC3\xA7" "al\xC4\xB1\xC5\x9F.exe", "çalış.exe"},  // UTF-8, marked
        {"[AutoRun]\nopen=\xC3\xA7" "al\xC4\xB1\xC5\x9F.exe", "çalış.exe"},           // UTF-8, unmarked
        {utf16le(u"[AutoRun]\r\nopen=çalış\U0001F600.exe"), "çalış\xF0\x9F\x98\x80.exe"},
        {"[AutoRun]\nopen=caf\xE9.exe", "café.exe"},  // not UTF-8: the ANSI code page
        {"[\0A\0u\0t\0o\0R\0u\0n\0]\0\n\0o\0p\0e\0n\0=\0x\0.\0e\0x\0e\0"s, "x.exe"},  // UTF-16, unmarked
        {"[AutoRun]\nop\0en=RavMon.exe\0\0\0\0"s, "RavMon.exe"},
    };
    for (const auto& c : cases) {
        const Lines lines = read(c.bytes);
        ASSERT_EQ(lines.size(), 1u) << c.command;
        EXPECT_EQ(lines[0].substr(lines[0].rfind('|') + 1), c.command);
    }
    // A broken sequence under the UTF-8 mark stays one replacement character, the rest still read.
    EXPECT_EQ(read("\xEF\xBB\xBF[AutoRun]\nopen=a\xC3(.exe"), Lines{"AutoRun|open|a\xEF\xBF\xBD(.exe"});
}

TEST(AutorunFileTest, OnlyTheFirstFourMebibytesAreRead) {
    const std::string padding(kAutorunReadLimit - 64, ' ');
    std::string file = "[AutoRun]\r\n" + padding + "\r\nopen=RavMon.exe\r\n";
    ASSERT_LE(file.size(), kAutorunReadLimit);
    file += std::string(100, '\n') + "shellexecute=amvo.exe\r\n";
    EXPECT_EQ(read(file), Lines{"AutoRun|open|RavMon.exe"});
}

}  // namespace
}  // namespace dva::stick
