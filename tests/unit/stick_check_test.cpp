#include "stick/stick_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fake_stick.h"
#include "shortcut_bytes.h"
#include "stick/quarantine.h"
#include "stick/sha256.h"

namespace dva::stick {
namespace {

using test::Trace;

const std::string kAutorun = "[AutoRun]\r\nopen=RavMon.exe\r\n";
const std::string kWorm = "MZ worm";
const std::string kBox = "message Virüs Bulundu!|E: sürücüsünde virüs tespit edildi!|16";
const std::string kDetected = "event 1000 E:\\autorun.inf";
const std::string kWormDetected = "event 1000 E:\\RavMon.exe";

std::string hashOf(std::string_view bytes) {
    Sha256 hash;
    hash.update(std::as_bytes(std::span(bytes)));
    return test::utf8(Sha256::hex(hash.finish()));
}

// A stick in drive E:, and its check.
class StickTest : public ::testing::Test {
protected:
    StickTest() {
        rt.eventsInTrace = true;
        port.drives[L'E'] = {{0x1234ABCD, L"USB"}, L"\\\\?\\Volume{1}\\"};
    }
    bool onStick(const wchar_t* path) const { return port.stick.count(path) != 0; }

    test::FakeRuntime rt;
    test::FakeStickPort port;
    StickCheck check{rt, rt, port};
};

// An autorun worm's stick: its autorun.inf starts its hidden program; the user's file beside them.
class StickCheckTest : public StickTest {
protected:
    StickCheckTest() {
        port.addStickFile(L"E:\\autorun.inf", kAutorun, kAttrHidden | kAttrSystem | kAttrReadOnly);
        port.addStickFile(L"E:\\RavMon.exe", kWorm);
        port.addStickFile(L"E:\\rapor.docx", "user's own", 0);
    }
};

TEST_F(StickCheckTest, WormStickOneBoxThenListedAndMovedInOrderThenVaccinated) {
    check.setVaccinating(true);
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Cleaned);
    EXPECT_EQ(rt.takeTrace(), (Trace{kDetected, kWormDetected, kBox, "list E:\\autorun.inf",
                                     "event 1011 E:\\autorun.inf|" + hashOf(kAutorun), "list E:\\RavMon.exe",
                                     "event 1011 E:\\RavMon.exe|" + hashOf(kWorm), "event 1013 E:"}));
    EXPECT_FALSE(onStick(L"E:\\autorun.inf") || onStick(L"E:\\RavMon.exe"));
    EXPECT_EQ(port.stick.at(L"E:\\rapor.docx").bytes, "user's own");
    EXPECT_EQ(port.stick.at(L"E:\\AUTORUN.INF").facts.attributes, kAttrHidden | kAttrSystem | kAttrDirectory);
    EXPECT_EQ(port.index.size(), 2u);

    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Clean);
    EXPECT_EQ(rt.trace, Trace{});
}

TEST_F(StickCheckTest, WhatChangedWhileTheBoxWasOpenIsCheckedAgainFromTheStart) {
    // Another stick takes the letter: it is clean, nothing is touched.
    rt.whileMessageOpen = [this] {
        port.drives[L'E'].volumeGuid = L"\\\\?\\Volume{2}\\";
        port.stick.erase(L"E:\\autorun.inf");
    };
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Clean);
    EXPECT_EQ(rt.takeTrace(), (Trace{kDetected, kWormDetected, kBox}));
    EXPECT_TRUE(onStick(L"E:\\RavMon.exe") && port.index.empty() && port.trace.empty());

    // The same stick, but the worm written again: a new box, then the files as they are now.
    port.addStickFile(L"E:\\autorun.inf", kAutorun);
    int boxes = 0;
    rt.whileMessageOpen = [&] {
        if (++boxes == 1) port.addStickFile(L"E:\\RavMon.exe", kWorm + "!");
    };
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Cleaned);
    EXPECT_EQ(boxes, 2);
    EXPECT_EQ(port.quarantine.count(test::wide(hashOf(kWorm + "!"))), 1u);
    EXPECT_EQ(port.quarantine.count(test::wide(hashOf(kWorm))), 0u);
}

TEST_F(StickCheckTest, AThreatThatCannotBeMovedGetsOneHataBoxThenQuietRetries) {
    port.failing["open"] = 19;  // write-protected
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Left);
    EXPECT_EQ(rt.takeTrace(), (Trace{kDetected, kWormDetected, kBox, "list E:\\autorun.inf", "event 1002 E:\\autorun.inf|19",
                                     "message Hata|Tehdit dosyası silinemedi: E:\\autorun.inf\n" + test::reasonFor(19) + "|16",
                                     "list E:\\RavMon.exe", "event 1002 E:\\RavMon.exe|19"}));

    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Left);
    EXPECT_EQ(rt.takeTrace(), Trace{});

    port.failing.clear();
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Cleaned);
    EXPECT_EQ(rt.trace, (Trace{"event 1011 E:\\autorun.inf|" + hashOf(kAutorun), "event 1011 E:\\RavMon.exe|" + hashOf(kWorm)}));
}

// The worm stays while its autorun.inf went to the quarantine: it is still the threat it was.
TEST_F(StickCheckTest, AWormLeftBehindItsMovedAutorunIsRetriedUntilMoved) {
    port.inUse = {L"E:\\RavMon.exe"};
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Left);
    EXPECT_FALSE(onStick(L"E:\\autorun.inf"));
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Left);
    port.inUse.clear();
    rt.takeTrace();
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Cleaned);
    EXPECT_EQ(rt.trace, Trace{"event 1011 E:\\RavMon.exe|" + hashOf(kWorm)});
    EXPECT_FALSE(onStick(L"E:\\RavMon.exe"));
}

TEST_F(StickCheckTest, AFullQuarantineSaysWhyAndAPulledStickEndsQuietly) {
    port.used = kQuarantineTotalLimit;
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Left);
    EXPECT_EQ(rt.takeTrace(),
              (Trace{kDetected, kWormDetected, kBox, "list E:\\autorun.inf", "event 1014 E:\\autorun.inf|quarantine-full",
                     "message Hata|Tehdit dosyası silinemedi: E:\\autorun.inf\nKarantina 256 MiB sınırına ulaştı; program "
                     "karantinadan hiçbir şey silmez.|16",
                     "list E:\\RavMon.exe", "event 1014 E:\\RavMon.exe|quarantine-full"}));

    test::FakeStickPort pulled;
    pulled.drives = port.drives;
    pulled.stick = port.stick;
    pulled.failing["read"] = 21;
    pulled.failureRemovesStick = true;
    StickCheck other{rt, rt, pulled};
    EXPECT_EQ(other.check(L'E'), StickCheck::Outcome::NotReady);
    EXPECT_EQ(rt.trace, (Trace{kDetected, kWormDetected, kBox, "list E:\\autorun.inf", "event 1002 E:\\autorun.inf|21",
                               "event 1014 E:|removed"}));
    EXPECT_TRUE(pulled.quarantine.empty() && pulled.index.empty());
}

TEST_F(StickCheckTest, VaccinationOnlyWhereNoAutorunInfIs) {
    const struct {
        const char* what;
        std::vector<std::pair<std::wstring, std::uint32_t>> root;
        std::uint32_t mkdirError;
        Trace trace;
    } cases[] = {
        {"an empty stick", {}, 0, {"vaccinate E:\\AUTORUN.INF", "event 1013 E:"}},
        {"vaccinated already", {{L"E:\\AutoRun.inf", kAttrDirectory}}, 0, {}},
        {"its own autorun.inf", {{L"E:\\autorun.inf", 0}}, 0, {"event 1014 E:|harmless-autorun"}},
        {"BitLocker To Go", {{L"E:\\BitLockerToGo.exe", 0}}, 0, {"event 1014 E:|bitlocker-to-go"}},
        {"write-protected", {}, 19, {"vaccinate E:\\AUTORUN.INF", "event 1014 E:|not-writable"}},
    };
    for (const auto& c : cases) {
        port.stick.clear();
        port.trace.clear();
        rt.trace.clear();
        for (const auto& [path, attributes] : c.root) port.addStickFile(path, {}, attributes);
        if (c.mkdirError != 0) port.failing["vaccinate"] = c.mkdirError;
        check.vaccinate(L'E');
        Trace seen = port.trace;
        seen.insert(seen.end(), rt.trace.begin(), rt.trace.end());
        EXPECT_EQ(seen, c.trace) << c.what;
    }
    port.drives.clear();  // no stick: nothing
    port.trace.clear();
    check.vaccinate(L'E');
    EXPECT_TRUE(port.trace.empty());
}

// The shortcut worm: the user's items hidden, a shortcut in front of each starting the worm's
// hidden script; and the shortcuts users keep on their sticks.
struct StickFile {
    std::wstring path;
    std::string bytes;
    std::uint32_t attributes = 0;
};
using Files = std::vector<StickFile>;
constexpr std::uint32_t kHiddenFolder = kAttrHidden | kAttrSystem | kAttrDirectory;
const std::string kScript = "WScript.Echo 1";

std::string bytesOf(const std::vector<std::uint8_t>& file) { return {file.begin(), file.end()}; }
// Shortcuts from real ones: IShellLinkW's "wscript.exe x.vbs", and others after its bytes.
const std::string kWscriptShortcut = bytesOf(test::testData("ishelllink-wscript.lnk"));
std::string shortcut(std::wstring_view target, std::wstring_view arguments = {}) {
    return bytesOf(test::shortcutStarting(target, arguments));
}
// One shortcut in front of a single hidden folder named U+00A0, the script beside it or inside it.
const std::string kOneFolderShortcut =
    shortcut(L"%SystemRoot%\\system32\\cmd.exe", L"/c start x.vbs & start explorer \"\u00A0\"");
const std::string kScriptInsideShortcut = shortcut(L"C:\\Windows\\System32\\cmd.exe", L"/c start \u00A0\\x.vbs&explorer \u00A0");
using Snapshot = std::map<std::wstring, std::pair<std::string, std::uint32_t>>;

Files twoHiddenFolders() {
    return {{L"E:\\Belgeler", {}, kHiddenFolder},
            {L"E:\\Belgeler\\rapor.docx", "rapor", 0},
            {L"E:\\Fotoğraflar", {}, kHiddenFolder},
            {L"E:\\Fotoğraflar\\tatil.jpg", "jpg", kAttrHidden},
            {L"E:\\x.vbs", kScript, kAttrHidden | kAttrSystem},
            {L"E:\\Belgeler.lnk", kWscriptShortcut},
            {L"E:\\Fotoğraflar.lnk", kWscriptShortcut}};
}

class ShortcutWormCheckTest : public StickTest {
protected:
    void put(const Files& files) {
        port.stick.clear();
        for (const StickFile& file : files) port.addStickFile(file.path, file.bytes, file.attributes);
    }
    // Every path on the stick with its bytes and marks, to compare before and after.
    Snapshot snapshot(std::wstring_view under = L"E:\\") const {
        Snapshot seen;
        for (const auto& [path, file] : port.stick) {
            if (path.starts_with(under)) seen[path] = {file.bytes, file.facts.attributes};
        }
        return seen;
    }
};

TEST_F(ShortcutWormCheckTest, WormShortcutsAndTheirScriptGoToTheQuarantineAndTheHiddenFoldersComeBack) {
    const struct {
        const char* what;
        Files files;
        std::vector<std::pair<std::string, std::string>> threats;  // path, bytes, in the order listed
        std::vector<std::wstring> shown;
    } cases[] = {
        {"two hidden folders, a shortcut in front of each", twoHiddenFolders(),
         {{"E:\\Belgeler.lnk", kWscriptShortcut}, {"E:\\x.vbs", kScript}, {"E:\\Fotoğraflar.lnk", kWscriptShortcut}},
         {L"E:\\Belgeler", L"E:\\Fotoğraflar"}},
        {"one shortcut in front of a single hidden folder named U+00A0",
         {{L"E:\\\u00A0", {}, kHiddenFolder},
          {L"E:\\\u00A0\\Belgeler", {}, kAttrDirectory},
          {L"E:\\\u00A0\\Belgeler\\rapor.docx", "rapor", 0},
          {L"E:\\x.vbs", kScript, kAttrHidden},
          {L"E:\\USB.lnk", kOneFolderShortcut}},
         {{"E:\\USB.lnk", kOneFolderShortcut}, {"E:\\x.vbs", kScript}},
         {L"E:\\\u00A0"}},
        {"the worm's script inside the folder it gives back stays there",
         {{L"E:\\\u00A0", {}, kHiddenFolder},
          {L"E:\\\u00A0\\x.vbs", kScript, kAttrHidden},
          {L"E:\\USB.lnk", kScriptInsideShortcut}},
         {{"E:\\USB.lnk", kScriptInsideShortcut}},
         {L"E:\\\u00A0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        put(c.files);
        rt.trace.clear();
        port.index.clear();
        std::vector<Snapshot> held;
        for (const std::wstring& folder : c.shown) held.push_back(snapshot(folder + L"\\"));

        EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Cleaned);
        Trace expected;
        for (const auto& threat : c.threats) expected.push_back("event 1000 " + threat.first);
        expected.push_back("message Virüs Bulundu!|E: sürücüsünde virüs tespit edildi!|16");
        for (const auto& threat : c.threats) {
            expected.push_back("list " + threat.first);
            expected.push_back("event 1011 " + threat.first + "|" + hashOf(threat.second));
            EXPECT_FALSE(onStick(test::wide(threat.first).c_str())) << threat.first;
            EXPECT_EQ(port.quarantine.count(test::wide(hashOf(threat.second))), 1u) << threat.first;
        }
        for (const std::wstring& folder : c.shown) expected.push_back("event 1015 " + test::utf8(folder));
        EXPECT_EQ(rt.takeTrace(), expected);
        EXPECT_EQ(port.index.size(), c.threats.size());
        for (std::size_t i = 0; i < c.shown.size(); ++i) {
            EXPECT_EQ(port.stick.at(c.shown[i]).facts.attributes, kAttrDirectory);
            EXPECT_EQ(snapshot(c.shown[i] + L"\\"), held[i]);  // what they hold, marks included, as it was
        }
        EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Clean);
    }
}

TEST_F(ShortcutWormCheckTest, UsersOwnShortcutsAreLeftAlone) {
    const struct {
        const char* what;
        Files files;
    } cases[] = {
        {"to a visible folder",
         {{L"E:\\Notlar", {}, kAttrDirectory}, {L"E:\\Notlar\\a.txt", "a"}, {L"E:\\Notlar.lnk", shortcut(L"E:\\Notlar")}}},
        {"to a program on C:, beside a hidden folder of its name",
         {{L"E:\\Program", {}, kHiddenFolder}, {L"E:\\Program.lnk", shortcut(L"C:\\Program Files\\App\\app.exe")}}},
        {"to a hidden .kdbx",
         {{L"E:\\pass.kdbx", "kdbx", kAttrHidden}, {L"E:\\pass.kdbx.lnk", shortcut(L"E:\\pass.kdbx")}}},
        {"a portable program's into its own folder",
         {{L"E:\\PortableApp", {}, kHiddenFolder},
          {L"E:\\PortableApp\\app.exe", "MZ app", kAttrHidden},
          {L"E:\\PortableApp.lnk", shortcut(L"E:\\PortableApp\\app.exe")}}},
        {"BELGELER.lnk to notepad beside a visible Belgeler",
         {{L"E:\\Belgeler", {}, kAttrDirectory},
          {L"E:\\Belgeler\\liste.txt", "liste"},
          {L"E:\\BELGELER.lnk", shortcut(L"C:\\Windows\\notepad.exe", L"Belgeler\\liste.txt")}}},
    };
    for (const auto& c : cases) {
        put(c.files);
        const auto before = snapshot();
        EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Clean) << c.what;
        EXPECT_EQ(rt.takeTrace(), Trace{}) << c.what;
        EXPECT_EQ(port.trace, Trace{}) << c.what;
        EXPECT_EQ(snapshot(), before) << c.what;
    }
}

TEST_F(ShortcutWormCheckTest, FoldersStayHiddenWhileTheirShortcutsStayAndAFailedUnhideIsShownOnce) {
    put(twoHiddenFolders());
    const auto hidden = snapshot();
    port.failing["open"] = 19;  // write-protected
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Left);
    EXPECT_EQ(snapshot(), hidden);
    EXPECT_TRUE(std::none_of(port.trace.begin(), port.trace.end(),
                             [](const std::string& line) { return line.starts_with("visible"); }));

    // Moved quietly later, and each folder given back then; one that stays hidden is logged, and
    // the stick has had its one "Hata" box.
    rt.trace.clear();
    port.failing = {{"visible", 5}};
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Cleaned);
    EXPECT_EQ(rt.takeTrace(), (Trace{"event 1011 E:\\Belgeler.lnk|" + hashOf(kWscriptShortcut),
                                     "event 1011 E:\\x.vbs|" + hashOf(kScript),
                                     "event 1011 E:\\Fotoğraflar.lnk|" + hashOf(kWscriptShortcut),
                                     "event 1014 E:\\Belgeler|still-hidden", "event 1014 E:\\Fotoğraflar|still-hidden"}));

    // On a stick that has not had it, the failure gets the box.
    StickCheck fresh{rt, rt, port};
    put(twoHiddenFolders());
    EXPECT_EQ(fresh.check(L'E'), StickCheck::Outcome::Cleaned);
    const Trace trace = rt.takeTrace();
    ASSERT_GE(trace.size(), 3u);
    EXPECT_EQ(Trace(trace.end() - 3, trace.end()),
              (Trace{"event 1014 E:\\Belgeler|still-hidden",
                     "message Hata|Gizlenmiş öğe yeniden görünür yapılamadı: E:\\Belgeler\n" + test::reasonFor(5) + "|16",
                     "event 1014 E:\\Fotoğraflar|still-hidden"}));
}

}  // namespace
}  // namespace dva::stick
