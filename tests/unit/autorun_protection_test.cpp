#include "autorun_protection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "fake_runtime.h"
#include "threat_scan.h"

namespace dva::test {
namespace {

constexpr const char* kPath = "C:\\AutoRun.inf";
const std::string kWarning =
    "message Virüs Bulundu!|AutoRun Korumasını etkileyecek bir virüs tespit edildi!|48";
const std::string kProtected = "message Bilgilendirme|Virüs Temizlenerek koruma oluşturuldu!|64";
const std::string kReleased = "message Bilgilendirme|Autorun Koruması Pasifleştirildi|64";
const std::string kList = "list C:\\AutoRun.inf";
const std::string kDelete = "delete C:\\AutoRun.inf";
const std::string kClear = "clear-readonly C:\\AutoRun.inf";
const std::string kMkdir = "mkdir C:\\AutoRun.inf";

std::string errorBox(const std::string& lead, std::uint32_t code) {
    return "message Hata|" + lead + kPath + "\n" + reasonFor(code) + "|16";
}

class AutoRunProtectionTest : public ::testing::Test {
protected:
    FakeRuntime rt;
    PathsInHand inHand;  // shared with the scan, as the program wires them
    AutoRunProtection autorun{rt, rt, &inHand};
};

TEST_F(AutoRunProtectionTest, TickingReplacesTheFileByAFolder) {
    rt.addFile(kPath);
    autorun.onSwitch(SwitchState::Ticked);
    EXPECT_EQ(rt.takeTrace(), (Trace{kWarning, kList, kDelete, kMkdir, kProtected}));
    EXPECT_FALSE(rt.isFile(kPath));
    EXPECT_TRUE(rt.isFolder(kPath));

    // With the folder in place, switching either way does nothing and the folder stays.
    for (const SwitchState state : {SwitchState::Unticked, SwitchState::Ticked, SwitchState::Unticked})
        autorun.onSwitch(state);
    EXPECT_EQ(rt.trace, Trace{});
    EXPECT_TRUE(rt.isFolder(kPath));
}

TEST_F(AutoRunProtectionTest, UntickingDeletesTheFileWithoutListingOrFolder) {
    rt.addFile(kPath);
    autorun.onSwitch(SwitchState::Unticked);
    EXPECT_EQ(rt.trace, (Trace{kDelete, kReleased}));
    EXPECT_FALSE(rt.isFile(kPath));
    EXPECT_FALSE(rt.isFolder(kPath));
}

TEST_F(AutoRunProtectionTest, NothingHappensWithoutAVisibleFileOrWhenGrayed) {
    for (const SwitchState state : {SwitchState::Ticked, SwitchState::Unticked, SwitchState::Grayed})
        autorun.onSwitch(state);
    EXPECT_EQ(rt.trace, Trace{});
    EXPECT_FALSE(rt.isFolder(kPath));

    rt.addFile(kPath, {.hidden = true});  // hidden or system: not seen, not touched
    for (const SwitchState state : {SwitchState::Ticked, SwitchState::Unticked, SwitchState::Grayed})
        autorun.onSwitch(state);
    EXPECT_EQ(rt.trace, Trace{});
    EXPECT_TRUE(rt.isFile(kPath));

    rt.addFile(kPath);  // visible now, but a grayed switch acts on nothing
    autorun.onSwitch(SwitchState::Grayed);
    EXPECT_EQ(rt.trace, Trace{});
    EXPECT_TRUE(rt.isFile(kPath));
    EXPECT_FALSE(rt.isFolder(kPath));
}

TEST_F(AutoRunProtectionTest, ReadOnlyFileIsClearedBeforeTheDelete) {
    rt.addFile(kPath, {.readOnly = true});
    autorun.onSwitch(SwitchState::Ticked);
    EXPECT_EQ(rt.takeTrace(), (Trace{kWarning, kList, kClear, kDelete, kMkdir, kProtected}));
    EXPECT_TRUE(rt.isFolder(kPath));

    rt.folders.clear();
    rt.addFile(kPath, {.readOnly = true});
    autorun.onSwitch(SwitchState::Unticked);
    EXPECT_EQ(rt.trace, (Trace{kClear, kDelete, kReleased}));
    EXPECT_FALSE(rt.isFile(kPath));
}

TEST_F(AutoRunProtectionTest, FileGoneBeforeItsDeleteStillGetsTheFolder) {
    rt.addFile(kPath, {.deleteError = kErrorFileNotFound});
    autorun.onSwitch(SwitchState::Ticked);
    EXPECT_EQ(rt.trace, (Trace{kWarning, kList, kDelete, kMkdir, kProtected}));
    EXPECT_TRUE(rt.isFolder(kPath));
}

TEST_F(AutoRunProtectionTest, UndeletableFileShowsAnErrorAndNoSuccess) {
    const std::string failed = errorBox("Tehdit dosyası silinemedi: ", 32);
    rt.addFile(kPath, {.deleteError = 32});
    autorun.onSwitch(SwitchState::Ticked);
    EXPECT_EQ(rt.takeTrace(), (Trace{kWarning, kList, kDelete, failed}));
    autorun.onSwitch(SwitchState::Unticked);
    EXPECT_EQ(rt.trace, (Trace{kDelete, failed}));
    EXPECT_TRUE(rt.isFile(kPath));
    EXPECT_FALSE(rt.isFolder(kPath));
}

TEST_F(AutoRunProtectionTest, FolderThatCannotBeMadeShowsAnErrorAndNoSuccess) {
    rt.addFile(kPath);
    rt.mkdirError = 5;
    autorun.onSwitch(SwitchState::Ticked);
    EXPECT_EQ(rt.trace, (Trace{kWarning, kList, kDelete, kMkdir,
                               errorBox("Koruma klasörü oluşturulamadı: ", 5)}));
    EXPECT_FALSE(rt.isFile(kPath));
    EXPECT_FALSE(rt.isFolder(kPath));
}

// The scan's ticks under the switch's boxes leave the file to the switch: one line from the
// switch, and no scan alert or error box between its warning and its information.
TEST_F(AutoRunProtectionTest, WorksAlongsideTheThreatScan) {
    ThreatScan scan{rt, rt, &inHand};
    rt.whileMessageOpen = [&] { scan.tick(); };  // the scan timer keeps ticking under the boxes
    rt.addFile(kPath);
    scan.tick();
    EXPECT_FALSE(rt.isFolder(kPath));  // the scan only deletes the file
    rt.addFile(kPath);
    autorun.onSwitch(SwitchState::Ticked);
    EXPECT_EQ(std::count(rt.trace.begin(), rt.trace.end(), kList), 2);
    ASSERT_GE(rt.trace.size(), 5u);
    EXPECT_EQ(Trace(rt.trace.end() - 5, rt.trace.end()),
              (Trace{kWarning, kList, kDelete, kMkdir, kProtected}));
    EXPECT_TRUE(rt.isFolder(kPath));
}

TEST_F(AutoRunProtectionTest, ScanTicksUnderItsBoxesLeaveTheFileAloneButNotOtherThreats) {
    ThreatScan scan{rt, rt, &inHand};
    int ticks = 0;
    rt.whileMessageOpen = [&] {
        if (ticks++ == 0) scan.tick();  // one tick falls under the warning
    };
    rt.addFile(kPath, {.readOnly = true});
    rt.addFile("C:\\RavMon.exe");
    autorun.onSwitch(SwitchState::Ticked);
    const std::string alert = "message Virüs Bulundu!|Sisteminizde virus tespit edildi!|16";
    EXPECT_EQ(rt.trace, (Trace{kWarning, alert, "list C:\\RavMon.exe", "delete C:\\RavMon.exe", kList, kClear,
                               kDelete, kMkdir, kProtected}));
    EXPECT_TRUE(rt.isFolder(kPath));
    EXPECT_FALSE(inHand.held(L"c:\\autorun.INF")) << "still held once the switch is done";

    // Once the switch is done, the scan tests the path again: a new file there is its own.
    rt.whileMessageOpen = nullptr;
    rt.folders.clear();
    rt.addFile(kPath);
    rt.takeTrace();
    scan.tick();
    EXPECT_EQ(rt.trace, (Trace{alert, kList, kDelete}));
}

// A tick that saw the file first and whose alert is still open when the switch replaces the file
// finds a folder at its delete: that counts as gone, not as a failure. Both events are listed.
TEST_F(AutoRunProtectionTest, ScanThatSawTheFileFirstFindsTheFolderAtItsDeleteAndReportsNothing) {
    ThreatScan scan{rt, rt, &inHand};
    bool switched = false;
    rt.whileMessageOpen = [&] {
        if (!std::exchange(switched, true)) autorun.onSwitch(SwitchState::Ticked);  // ticked under the scan's alert
    };
    rt.addFile(kPath, {.readOnly = true});
    scan.tick();
    const std::string alert = "message Virüs Bulundu!|Sisteminizde virus tespit edildi!|16";
    EXPECT_EQ(rt.takeTrace(), (Trace{alert, kWarning, kList, kClear, kDelete, kMkdir, kProtected, kList, kClear,
                                     kDelete}));
    EXPECT_TRUE(rt.isFolder(kPath));

    // A refused delete of a file that is still there stays a failure.
    rt.whileMessageOpen = nullptr;
    rt.folders.clear();
    rt.addFile(kPath, {.deleteError = 5});
    scan.tick();
    EXPECT_EQ(rt.trace, (Trace{alert, kList, kDelete, errorBox("Tehdit dosyası silinemedi: ", 5)}));
}

}  // namespace
}  // namespace dva::test
