#include "stick/shortcut_worm.h"

#include <gtest/gtest.h>

#include <map>
#include <span>

#include "test_data.h"

namespace dva::stick {
namespace {

using enum LinkTargetSource;
using test::testData;

const std::wstring kCmd = L"C:\\Windows\\System32\\cmd.exe";
const std::wstring kNbsp = L"\u00A0";  // the single hidden folder's invisible name

StickItem hiddenFolder(std::wstring name) { return {std::move(name), kAttrHidden | kAttrSystem | kAttrDirectory}; }
StickItem visibleFolder(std::wstring name) { return {std::move(name), kAttrDirectory}; }
StickItem hiddenFile(std::wstring name) { return {std::move(name), kAttrHidden | kAttrSystem}; }

// The root of an infected stick E: the user's folders and files hidden, the worm's script beside
// them, and what a user and the system keep on a stick.
std::vector<StickItem> infectedRoot() {
    return {hiddenFolder(L"Belgeler"), hiddenFolder(L"Fotoğraflar"), hiddenFolder(kNbsp), hiddenFile(L"x.vbs"),
            {L"rapor.docx", kAttrHidden}, {L"pass.kdbx", kAttrHidden}, visibleFolder(L"Notlar"),
            hiddenFolder(L"PortableApp"),
            hiddenFolder(L"RECYCLER"), hiddenFolder(L"System Volume Information"),
            {L"Bağlantı", kAttrHidden | kAttrDirectory | kAttrReparsePoint}, {L"setup.exe"}};
}

// What the stick holds below its root, found by one query each.
std::optional<StickItem> deeperOnStick(std::wstring_view path) {
    static const std::map<std::wstring, StickItem, std::less<>> deeper{
        {L"RECYCLER\\x.exe", hiddenFile(L"x.exe")},
        {L"RECYCLER\\x.dat", hiddenFile(L"x.dat")},
        {L"PortableApp\\app.exe", hiddenFile(L"app.exe")},
    };
    const auto it = deeper.find(path);
    return it == deeper.end() ? std::nullopt : std::optional<StickItem>(it->second);
}

struct Case {
    const char* what;
    std::wstring shortcut;
    std::vector<LinkTarget> targets;
    std::wstring arguments;
    std::optional<ShortcutWorm> expected;
};

// Judges each case's shortcut, made of its targets and arguments, on the stick `root`.
void expectJudged(std::span<const Case> cases, const StickRoot& root) {
    for (const Case& c : cases) {
        EXPECT_EQ(judgeShortcut(ShellLink{c.targets, {}, {}, {}, c.arguments, {}}, c.shortcut, root), c.expected)
            << c.what;
    }
}

TEST(ShortcutWormTest, WormShortcutsAreFoundWithTheirWormAndHiddenItems) {
    const Case cases[] = {
        {"wscript on the script, the name in another case", L"FOTOĞRAFLAR.lnk",
         {{LinkInfo, L"C:\\Windows\\System32\\wscript.exe"}}, L"x.vbs", ShortcutWorm{{L"x.vbs"}, {L"Fotoğraflar"}}},
        {"arguments padded, quoted and escaped", L"Belgeler.lnk", {{LinkInfo, kCmd}},
         std::wstring(300, L' ') + L"\r\n\n/c \"s^tart .\\RECYCLER\\..\\x^.vbs&start explorer Belgeler\"",
         ShortcutWorm{{L"x.vbs"}, {L"Belgeler"}}},
        {"one shortcut in front of a single hidden folder", L"USB.lnk", {{LinkInfo, kCmd}},
         L"/c start x.vbs & start explorer \"" + kNbsp + L"\"", ShortcutWorm{{L"x.vbs"}, {kNbsp}}},
        {"target only in the environment block", L"Belgeler.lnk",
         {{EnvironmentBlock, L"%ComSpec%"}}, L"/c start x.vbs", ShortcutWorm{{L"x.vbs"}, {L"Belgeler"}}},
        {"a hidden program on the stick as its target", L"Belgeler.lnk", {{LinkInfo, L"E:\\RECYCLER\\x.exe"}}, L"",
         ShortcutWorm{{L"RECYCLER\\x.exe"}, {L"Belgeler"}}},
        {"rundll32 on a hidden file of any extension", L"Belgeler.lnk",
         {{LinkInfo, L"C:\\Windows\\System32\\rundll32.exe"}}, L".\\RECYCLER\\x.dat,Entry",
         ShortcutWorm{{L"RECYCLER\\x.dat"}, {L"Belgeler"}}},
        {"a document's shortcut: the document is given back, not taken", L"rapor.docx.lnk", {{LinkInfo, kCmd}},
         L"/c start x.vbs & start rapor.docx", ShortcutWorm{{L"x.vbs"}, {L"rapor.docx"}}},
        {"system folders and links are never unhidden", L"RECYCLER.lnk", {{LinkInfo, kCmd}},
         L"/c start x.vbs & explorer RECYCLER & explorer \"System Volume Information\" & explorer Bağlantı",
         ShortcutWorm{{L"x.vbs"}, {}}},
    };
    expectJudged(cases, StickRoot(L'E', infectedRoot(), deeperOnStick));
}

// Shortcuts made by the shell's own code, read by the reader, put on the stick as a worm would.
TEST(ShortcutWormTest, RealShortcutsOnTheStickAreJudgedAsRead) {
    const StickRoot root(L'E', infectedRoot(), deeperOnStick);
    const auto judge = [&](const char* file, std::wstring_view name) {
        const std::optional<ShellLink> link = readShellLink(testData(file));
        return link ? judgeShortcut(*link, name, root) : std::nullopt;
    };
    EXPECT_EQ(judge("wscript-shell-cmd.lnk", L"Belgeler.lnk"), (ShortcutWorm{{L"x.vbs"}, {L"Belgeler"}}));
    EXPECT_EQ(judge("ishelllink-wscript.lnk", L"Fotoğraflar.lnk"), (ShortcutWorm{{L"x.vbs"}, {L"Fotoğraflar"}}));
    EXPECT_EQ(judge("ishelllink-padded-arguments.lnk", L"rapor.docx.lnk"),
              (ShortcutWorm{{L"x.vbs"}, {L"rapor.docx", L"Belgeler"}}));
    EXPECT_EQ(judge("environment-target-only.lnk", L"USB.lnk"), (ShortcutWorm{{L"x.vbs"}, {}}));
    EXPECT_EQ(judge("reference-sample.lnk", L"a.txt.lnk"), std::nullopt);
}

TEST(ShortcutWormTest, UsersOwnShortcutsAreLeftAlone) {
    const Case cases[] = {
        {"to a visible folder", L"Notlar.lnk", {{ItemList, L"E:\\Notlar"}, {LinkInfo, L"E:\\Notlar"}}, L"", {}},
        {"to a program on C:", L"Program.lnk", {{LinkInfo, L"C:\\Program Files\\App\\app.exe"}}, L"", {}},
        {"to a hidden file that is no program", L"pass.kdbx.lnk", {{LinkInfo, L"E:\\pass.kdbx"}}, L"", {}},
        {"a portable program into its own folder", L"PortableApp.lnk", {{LinkInfo, L"E:\\PortableApp\\app.exe"}},
         L"", {}},
        {"notepad beside a visible folder of that name", L"NOTLAR.lnk",
         {{LinkInfo, L"C:\\Windows\\notepad.exe"}}, L"Notlar\\liste.txt", {}},
        {"the command processor of its own", L"Komut İstemi.lnk", {{LinkInfo, kCmd}}, L"", {}},
        {"the command processor opening a hidden document", L"Şifreler.lnk", {{LinkInfo, kCmd}},
         L"/c start pass.kdbx", {}},
        {"a host starting a visible program", L"Kurulum.lnk", {{LinkInfo, kCmd}}, L"/c setup.exe", {}},
        {"the worm's script on another drive", L"Kurulum.lnk", {{LinkInfo, kCmd}}, L"/c start F:\\x.vbs", {}},
    };
    expectJudged(cases, StickRoot(L'E', infectedRoot(), deeperOnStick));
    // Nothing on a BitLocker To Go discovery volume is a threat.
    std::vector<StickItem> items = infectedRoot();
    items.push_back({L"BitLockerToGo.exe"});
    const StickRoot bitLocker(L'E', items, deeperOnStick);
    EXPECT_EQ(judgeShortcut(ShellLink{{{LinkInfo, kCmd}}, {}, {}, {}, L"/c start x.vbs", {}}, L"Belgeler.lnk", bitLocker),
              std::nullopt);
}

// A root of 20,000 entries and arguments of 65,000 characters naming thousands of them, and
// thousands of paths below the root: the root is looked up by its index, the stick queried a few times.
TEST(ShortcutWormTest, LargeRootsAndLongArgumentsAreJudgedWithFewQueries) {
    std::vector<StickItem> items;
    for (int i = 0; i < 20000; ++i) items.push_back(hiddenFile(L"w" + std::to_wstring(i) + L".js"));
    items.push_back(hiddenFolder(L"RECYCLER"));
    int queries = 0;
    const StickRoot root(L'E', std::move(items), [&](std::wstring_view) {
        ++queries;
        return std::optional<StickItem>();
    });
    std::wstring arguments = L"/c";
    for (int i = 0; arguments.size() < 65000; ++i)
        arguments += L" w" + std::to_wstring(i) + L".js RECYCLER\\" + std::to_wstring(i) + L".exe";
    const auto worm = judgeShortcut(ShellLink{{{LinkInfo, kCmd}}, {}, {}, {}, arguments, {}}, L"USB.lnk", root);
    ASSERT_TRUE(worm);
    EXPECT_GT(worm->wormFiles.size(), 2000u);
    EXPECT_EQ(worm->wormFiles.front(), L"w0.js");
    EXPECT_EQ(queries, 32);
}

}  // namespace
}  // namespace dva::stick
