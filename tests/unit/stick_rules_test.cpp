#include "stick/stick_rules.h"

#include <gtest/gtest.h>

#include <map>

#include "fake_stick.h"

namespace dva::stick {
namespace {

using Names = std::vector<std::string>;

constexpr std::uint32_t H = kAttrHidden, S = kAttrSystem, R = kAttrReadOnly, D = kAttrDirectory, L = kAttrReparsePoint;

struct Case {
    const char* what;
    std::vector<StickItem> root;
    const char* autorun;  // the file's text
    Names threats;        // from the root, as the listing spells them
};

// Below the root: a hidden RECYCLER folder holding a hidden x.vmx, a folder sub with a visible RavMon.exe.
const std::map<std::wstring, StickItem, std::less<>> kBelow = {
    {L"RECYCLER\\x.vmx", {L"X.vmx", H}},
    {L"sub\\RavMon.exe", {L"RavMon.exe", 0}},
    {L"Link\\x.exe", {L"x.exe", H}},
};

TEST(StickRulesTest, WormsAndTheAutorunThatStartsThem) {
    const Case cases[] = {
        {"worm stick, names in another case, program without its extension",
         {{L"AUTORUN.INF", H | S | R}, {L"RAVMON.EXE", H}, {L"rapor.docx"}}, "[autorun]\nopen=ravmon", {"AUTORUN.INF", "RAVMON.EXE"}},
        {"rundll32 runs a file of any extension in a hidden folder",
         {{L"autorun.inf"}, {L"RECYCLER", H | D}}, "[AutoRun]\nopen=rundll32.exe .\\RECYCLER\\x.vmx,Entry", {"autorun.inf", "RECYCLER\\X.vmx"}},
        {"every section and key, in file order, each worm once; a table worm that is gone",
         {{L"autorun.inf", H}, {L"a.exe", S}, {L"b.vbs", H}},
         "[AutoRun.Amd64]\nshellexecute=b.vbs\n[AutoRun]\nshell\\go\\command=wscript //B b.vbs\nopen=a.exe\nopen=amvo.exe",
         {"autorun.inf", "b.vbs", "a.exe"}},
        {"the worm already gone: its launcher stays a threat", {{L"autorun.inf", H}}, "[AutoRun]\nopen=RavMon.exe", {"autorun.inf"}},
        {"a table name on this drive, even visible", {{L"autorun.inf"}, {L"RavMon.exe"}}, "[AutoRun]\nopen=E:\\RavMon.exe", {"autorun.inf", "RavMon.exe"}},
        {"the stick's own hidden cmd.exe runs before the system's", {{L"autorun.inf"}, {L"cmd.exe", H}}, "[AutoRun]\nopen=cmd.exe /c x.bat", {"autorun.inf", "cmd.exe"}},
        {"a folder named like the host hides nothing", {{L"autorun.inf"}, {L"cmd.exe", D}, {L"x.bat", H}},
         "[AutoRun]\nopen=cmd.exe /c x.bat", {"autorun.inf", "x.bat"}},
        {"cmd runs a hidden script", {{L"autorun.inf"}, {L"x.bat", H}}, "[AutoRun]\nopen=C:\\WINDOWS\\system32\\cmd.exe /c x.bat", {"autorun.inf", "x.bat"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(test::threatNames(c.autorun, c.root, kBelow), c.threats) << c.what;
    }
}

TEST(StickRulesTest, AUsersFilesAreNeverThreats) {
    const Case cases[] = {
        {"label and icon", {{L"autorun.inf", H}, {L"RavMon.exe", H}}, "[AutoRun]\nlabel=USB\nicon=RavMon.exe,0", {}},
        {"install media", {{L"autorun.inf"}, {L"setup.exe"}}, "[AutoRun]\nopen=setup.exe", {}},
        {"a hidden document", {{L"autorun.inf"}, {L"rapor.docx", H}}, "[AutoRun]\nshellexecute=rapor.docx", {}},
        {"a document a shell opens", {{L"autorun.inf"}, {L"x.txt", H}}, "[AutoRun]\nopen=cmd /c start x.txt", {}},
        {"BitLocker To Go discovery volume", {{L"autorun.inf", H}, {L"RavMon.exe", H}, {L"BITLOCKERTOGO.EXE"}}, "[AutoRun]\nopen=RavMon.exe", {}},
        {"no autorun.inf", {{L"bittorrent.exe", H}}, "[AutoRun]\nopen=bittorrent.exe", {}},
        {"autorun.inf is the vaccination folder", {{L"AUTORUN.INF", H | S | D}, {L"RavMon.exe", H}}, "[AutoRun]\nopen=RavMon.exe", {}},
        {"a folder named like a worm", {{L"autorun.inf"}, {L"RavMon.exe", H | D}}, "[AutoRun]\nopen=RavMon.exe", {}},
        {"reparse points are never followed nor taken", {{L"autorun.inf"}, {L"Link", D | L | H}, {L"x.exe", H | L}},
         "[AutoRun]\nopen=Link\\x.exe\nshellexecute=x.exe", {}},
        {"outside the stick", {{L"autorun.inf"}, {L"RavMon.exe", H}}, "[AutoRun]\nopen=F:\\RavMon.exe\nopen=\\\\srv\\s\\RavMon.exe", {}},
        {"table names count at the root only", {{L"autorun.inf"}, {L"sub", D}}, "[AutoRun]\nopen=sub\\RavMon.exe", {}},
        {"pwsh starts shortcuts' worms, not autorun.inf's", {{L"autorun.inf"}, {L"x.ps1", H}}, "[AutoRun]\nopen=pwsh -File x.ps1", {}},
        {"another section", {{L"autorun.inf"}, {L"x.exe", H}}, "[Content]\nopen=x.exe", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(test::threatNames(c.autorun, c.root, kBelow), c.threats) << c.what;
    }
}

}  // namespace
}  // namespace dva::stick
