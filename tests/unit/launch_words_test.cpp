#include "stick/launch_words.h"

#include <gtest/gtest.h>

#include "fake_runtime.h"

namespace dva::stick {
namespace {

using Words = std::vector<std::wstring>;

TEST(LaunchWordsTest, NamesCompareOrdinallyNeverByTheLocale) {
    EXPECT_TRUE(sameName(L"AUTORUN.INF", L"autorun.inf"));
    EXPECT_TRUE(sameName(L"RavMon.EXE", L"ravmon.exe"));
    EXPECT_TRUE(sameName(L"FOTOĞRAFLAR ÇÖŞÜ", L"Fotoğraflar çöşü"));
    EXPECT_EQ(foldedName(L"BELGELER.LNK"), foldedName(L"Belgeler.lnk"));
    // The Turkish locale's lower case of "AUTORUN.INF", and its dotted capital: other names.
    EXPECT_FALSE(sameName(L"AUTORUN.INF", L"autorun.\u0131nf"));
    EXPECT_FALSE(sameName(L"autorun.inf", L"AUTORUN.\u0130NF"));
    EXPECT_FALSE(sameName(L"autorun.inf", L"autorun.in"));
    EXPECT_TRUE(isProgramName(L"X.VBS") && isProgramName(L"run.ps1") && isProgramName(L"a.b.js"));
    EXPECT_FALSE(isProgramName(L"rapor.docx") || isProgramName(L".exe") || isProgramName(L"exe") ||
                 isProgramName(L"x.vmx") || isProgramName(L"x.exe.txt"));
}

TEST(LaunchWordsTest, CommandLinesSplitAsWindowsProgramsSplitThem) {
    const struct {
        const wchar_t* line;
        Words words;
    } cases[] = {
        {L"  RavMon.exe  -a\t b ", {L"RavMon.exe", L"-a", L"b"}},
        {L"\"My Files\\x.exe\"arg \"two words\"", {L"My Files\\x.exe", L"arg", L"two words"}},
        {L"C:\\a\\b.exe \"a\\\"b\" a\\\\\"c d\" e\\f", {L"C:\\a\\b.exe", L"a\"b", L"a\\c d", L"e\\f"}},
        {L"x \"say \"\"hi\"\"\" \"\"", {L"x", L"say \"hi\"", L""}},
        {L"wscript\r\n\r\n   \r\nx.vbs", {L"wscript", L"x.vbs"}},
        {L"   ", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(splitCommandLine(c.line), c.words) << test::utf8(c.line);
}

TEST(LaunchWordsTest, HostsHandOverTheFilesTheyRun) {
    const struct {
        const wchar_t* line;
        const wchar_t* host;  // nullptr: the program is no host
        Words hosted;
        bool anyExtension;
    } cases[] = {
        {L"RavMon.exe /x", nullptr, {}, true},
        {L"rundll32.exe .\\RECYCLER\\x.vmx,Entry", L"rundll32", {L".\\RECYCLER\\x.vmx"}, true},
        {L"C:\\WINDOWS\\system32\\RUNDLL32 \"x y.dll\",Go arg", L"rundll32", {L"x y.dll"}, true},
        {L"regsvr32 /s /i:x x.ocx", L"regsvr32", {L"x.ocx"}, true},
        {L"wscript.exe //B //E:vbscript x.txt", L"wscript", {L"x.txt"}, true},
        {L"msiexec /i pkg.msi /qn", L"msiexec", {L"pkg.msi"}, true},
        {L"pwsh -ep bypass -File x.txt", L"pwsh", {L"x.txt"}, true},
        {L"powershell -ep bypass -c \"& .\\x.ps1\"", L"powershell", {L"bypass", L".\\x.ps1"}, false},
        {L"cmd.exe /q /c start x.vbs&start explorer Belgeler", L"cmd", {L"start", L"x.vbs", L"start", L"explorer", L"Belgeler"}, false},
        {L"cmd /cstart \"\" x.bat", L"cmd", {L"start", L"x.bat"}, false},
        {L"cmd /k", L"cmd", {}, false},
        {L"%ComSpec% /c s^tart x^.vbs,y.bat", L"%ComSpec%", {L"start", L"x.vbs", L"y.bat"}, false},
    };
    for (const auto& c : cases) {
        const Launch launch = readLaunch(c.line);
        SCOPED_TRACE(test::utf8(c.line));
        ASSERT_EQ(launch.host != nullptr, c.host != nullptr);
        if (c.host != nullptr) {
            EXPECT_EQ(launch.host->name, c.host);
        }
        Words hosted;
        for (const HostedWord& word : launch.hosted) {
            hosted.push_back(word.word);
            EXPECT_EQ(word.anyExtension, c.anyExtension);
        }
        EXPECT_EQ(hosted, c.hosted);
    }
    // pwsh and msiexec start shortcuts' worms; autorun.inf entries are read for the others.
    EXPECT_FALSE(findHost(L"pwsh.exe")->startsFromAutorun || findHost(L"MSIEXEC")->startsFromAutorun ||
                 findHost(L"%COMSPEC%")->startsFromAutorun);
    EXPECT_TRUE(findHost(L"Cmd.Exe")->startsFromAutorun);
}

// A shortcut's arguments: every word counts, a quoted name with blanks and the no-break space of
// an "invisible" folder name stay whole, switches do not count.
TEST(LaunchWordsTest, ArgumentsGiveEveryWordThatMayNameAFile) {
    const Words expected{L"my worm.vbs", L"my", L"worm.vbs", L"start", L"explorer",
                         L"s^tart x.vbs&explorer \u00A0", L"start", L"x.vbs", L"explorer", L"\u00A0",
                         L".\\RECYCLER\\x.dat,Entry", L".\\RECYCLER\\x.dat", L"Entry"};
    EXPECT_EQ(argumentWords(L"  \r\n /c \"my worm.vbs\" & start explorer \"s^tart x.vbs&explorer \u00A0\" -x "
                            L".\\RECYCLER\\x.dat,Entry"),
              expected);
}

TEST(LaunchWordsTest, WordsLeadFromTheStickRootOrOutsideIt) {
    const struct {
        const wchar_t* word;
        bool onStick;
        const wchar_t* relative;
    } cases[] = {
        {L"x.vbs", true, L"x.vbs"},
        {L".\\x.vbs", true, L"x.vbs"},
        {L"RECYCLER\\x.exe", true, L"RECYCLER\\x.exe"},
        {L"\\RECYCLER/./sub\\..\\x.exe. ", true, L"RECYCLER\\x.exe"},
        {L"..\\..\\x.exe", true, L"x.exe"},
        {L"e:\\RavMon.exe", true, L"RavMon.exe"},
        {L"E:RavMon.exe", true, L"RavMon.exe"},
        {L"\\\\?\\E:\\RavMon.exe", true, L"RavMon.exe"},
        {L"C:\\WINDOWS\\system32\\cmd.exe", false, L""},
        {L"\\\\server\\share\\x.exe", false, L""},
        {L"%TEMP%\\x.exe", false, L""},
        {L"javascript:alert(1)", false, L""},
        {L"x.exe:stream", false, L""},
        {L"", false, L""},
    };
    for (const auto& c : cases) {
        const StickPath found = locate(c.word, L'E');
        EXPECT_EQ(found.onStick, c.onStick) << test::utf8(c.word);
        EXPECT_EQ(found.relative, c.relative) << test::utf8(c.word);
    }
}

}  // namespace
}  // namespace dva::stick
