#include "threat_scan.h"

#include <gtest/gtest.h>

#include "fake_runtime.h"
#include "known_threats.h"

namespace dva::test {
namespace {

// A quiet retry's kill: minimised without taking the focus.
const std::string kRetryKill = kKill + " background";

Trace hit(const std::string& path) { return {kHitMessage, "list " + path, "delete " + path}; }

std::string deleteErrorBox(const std::string& path, std::uint32_t code) {
    return "message Hata|Tehdit dosyası silinemedi: " + path + "\n" + reasonFor(code) + "|16";
}

Trace cat(std::initializer_list<Trace> parts) {
    Trace all;
    for (const Trace& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class ThreatScanTest : public ::testing::Test {
protected:
    FakeRuntime rt;
    ThreatScan scan{rt, rt};
};

TEST_F(ThreatScanTest, FoldersAndHiddenFilesNamedLikeThreatsAreLeftAlone) {
    rt.folders = {L"C:\\AutoRun.inf", L"C:\\System32.exe"};
    rt.addFile("C:\\amvo.exe", {.hidden = true});
    rt.addFile("C:\\mdm.exe", {.hidden = true});
    rt.addFile("C:\\harmless.exe");
    scan.tick();
    EXPECT_EQ(rt.trace, Trace{});
    EXPECT_EQ(rt.probes, 19);
    EXPECT_TRUE(rt.isFolder("C:\\AutoRun.inf") && rt.isFolder("C:\\System32.exe"));
    EXPECT_TRUE(rt.isFile("C:\\amvo.exe") && rt.isFile("C:\\mdm.exe") && rt.isFile("C:\\harmless.exe"));
}

TEST_F(ThreatScanTest, EveryKnownThreatIsReportedListedAndDeletedInTableOrder) {
    Trace expected;
    for (const wchar_t* known : kKnownThreats) {
        const std::string path = utf8(known);
        rt.addFile(path);
        expected.insert(expected.end(), {kHitMessage, "list " + path});
        if (path == "C:\\amvo.exe") expected.push_back(kKill);
        expected.push_back("delete " + path);
    }
    scan.tick();
    EXPECT_EQ(rt.trace, expected);
    EXPECT_TRUE(rt.files.empty());
}

TEST_F(ThreatScanTest, TwoThreatsAreHandledOneAfterTheOther) {
    rt.addFile("C:\\svchost.dll");
    rt.addFile("C:\\System32.exe");
    scan.tick();
    EXPECT_EQ(rt.trace, cat({hit("C:\\System32.exe"), hit("C:\\svchost.dll")}));
    EXPECT_TRUE(rt.files.empty());
    scan.tick();  // nothing left to find
    EXPECT_EQ(rt.trace.size(), 6u);
}

// "amvo" with the letter o is the one whose process is killed, and waited for, before the delete.
TEST_F(ThreatScanTest, OnlyAmvoExeIsKilledBeforeItsDelete) {
    rt.addFile("C:\\amv0.exe");
    rt.addFile("C:\\amvo.exe");
    rt.addFile("C:\\amvo.dll");
    scan.tick();
    EXPECT_EQ(rt.trace, cat({{kHitMessage, "list C:\\amvo.exe", kKill, "delete C:\\amvo.exe"},
                             hit("C:\\amvo.dll"), hit("C:\\amv0.exe")}));
}

TEST_F(ThreatScanTest, TicksWhileAMessageOrTheKillWaitIsOpenAreSkippedNotQueued) {
    int nestedTicks = 0;
    const auto nestedTick = [&] {
        if (nestedTicks++ < 3) scan.tick();  // bounded, so a missing guard fails instead of recursing
    };
    rt.whileMessageOpen = nestedTick;
    rt.addFile("C:\\System32.exe");
    rt.addFile("C:\\mdm.exe", {.deleteError = 32});
    scan.tick();
    EXPECT_EQ(rt.trace, cat({hit("C:\\System32.exe"), hit("C:\\mdm.exe"),
                             {deleteErrorBox("C:\\mdm.exe", 32)}}));
    EXPECT_EQ(rt.probes, 19);
    EXPECT_EQ(nestedTicks, 3);

    // Once the boxes are closed, ticks run passes again.
    rt.whileMessageOpen = nullptr;
    rt.addFile("C:\\System32.exe");
    rt.takeTrace();
    scan.tick();
    EXPECT_EQ(rt.trace, cat({hit("C:\\System32.exe"), {"delete C:\\mdm.exe"}}));

    // The window goes on working while the kill command is waited for, and its ticks find the
    // pass still under way: no box, no probe, no second kill.
    rt.whileWaiting = nestedTick;
    nestedTicks = 0;
    rt.probes = 0;
    rt.files.clear();
    rt.addFile("C:\\amvo.exe");
    rt.takeTrace();
    scan.tick();
    EXPECT_EQ(rt.trace, (Trace{kHitMessage, "list C:\\amvo.exe", kKill, "delete C:\\amvo.exe"}));
    EXPECT_EQ(rt.probes, 19);
    EXPECT_EQ(nestedTicks, 1);
}

// Only the scan's own boxes hold it back: a tick under a box that another handler opened (the
// main window's notice, a switch's information) runs a pass; the run-time error report, after
// which the program ends, holds every tick.
TEST_F(ThreatScanTest, TicksUnderOtherBoxesRunPassesButNotUnderTheRuntimeErrorReport) {
    rt.addFile("C:\\RavMon.exe");
    rt.whileMessageOpen = [&] {
        rt.whileMessageOpen = nullptr;
        scan.tick();
    };
    rt.message(L"0.1 Beta sürümde bu özellik yoktur.", L"Bilgi!", MessageIcon::Information);
    EXPECT_EQ(rt.takeTrace(), cat({{"message Bilgi!|0.1 Beta sürümde bu özellik yoktur.|64"}, hit("C:\\RavMon.exe")}));

    rt.addFile("C:\\RavMon.exe");
    rt.reportOpen = true;
    rt.probes = 0;
    scan.tick();
    EXPECT_EQ(rt.probes, 0);
    EXPECT_TRUE(rt.trace.empty());
    rt.reportOpen = false;
    scan.tick();
    EXPECT_EQ(rt.trace, hit("C:\\RavMon.exe"));
}

// A process that cannot be ended keeps its file: the delete is retried quietly every pass, but
// the kill command starts again only once 10 s have passed since it last started.
TEST_F(ThreatScanTest, StuckAmvoIsKilledAgainAtMostOnceEveryTenSeconds) {
    rt.addFile("C:\\amvo.exe", {.deleteError = 5});
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), (Trace{kHitMessage, "list C:\\amvo.exe", kKill, "delete C:\\amvo.exe",
                                     deleteErrorBox("C:\\amvo.exe", 5)}));
    for (int second = 1; second <= 25; ++second) {
        rt.clock += 1000;
        scan.tick();
        const Trace seen = rt.takeTrace();
        const bool due = second == 10 || second == 20;
        const Trace expected = due ? Trace{kRetryKill, "delete C:\\amvo.exe"} : Trace{"delete C:\\amvo.exe"};
        EXPECT_EQ(seen, expected) << "second " << second;
    }

    // Spaced from the last start (second 20), not from the detection.
    rt.clock += 4999;
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), Trace{"delete C:\\amvo.exe"});
    rt.clock += 1;
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), (Trace{kRetryKill, "delete C:\\amvo.exe"}));

    // Gone and back: a new detection is killed at once.
    rt.files.clear();
    scan.tick();
    rt.addFile("C:\\amvo.exe");
    rt.clock += 1000;
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), (Trace{kHitMessage, "list C:\\amvo.exe", kKill, "delete C:\\amvo.exe"}));
}

// A kill command that cannot be started is told once, like a failed delete; the delete is still tried.
TEST_F(ThreatScanTest, KillCommandThatCannotStartIsReportedOnce) {
    const std::string startErrorBox = "message Hata|Komut başlatılamadı: " + kKillLine + "\n" + reasonFor(2) + "|16";
    rt.runError = 2;
    rt.addFile("C:\\amvo.exe", {.deleteError = 5});
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), (Trace{kHitMessage, "list C:\\amvo.exe", kKill, startErrorBox, "delete C:\\amvo.exe",
                                     deleteErrorBox("C:\\amvo.exe", 5)}));
    rt.clock += 10000;
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), (Trace{kRetryKill, "delete C:\\amvo.exe"}));

    // Once the file is gone, a new one is a new detection, told again.
    rt.files.clear();
    scan.tick();
    rt.addFile("C:\\amvo.exe");
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), (Trace{kHitMessage, "list C:\\amvo.exe", kKill, startErrorBox, "delete C:\\amvo.exe"}));
}

// Without the system folder's name the kill line would start "\taskkill.exe" from the root of the
// current drive, a file anyone may put there: it is refused and told once, never run.
TEST_F(ThreatScanTest, KillIsRefusedWhenTheSystemNamesNoSystemFolder) {
    rt.systemFolderAnswer.clear();
    rt.addFile("C:\\amvo.exe", {.deleteError = 5});
    scan.tick();
    const std::string refusedBox = "message Hata|Komut başlatılamadı: \"\\taskkill.exe\" /F /IM amvo.exe\n" +
                                   reasonFor(kRefusedNoSystemFolder) + "|16";
    EXPECT_EQ(rt.takeTrace(), (Trace{kHitMessage, "list C:\\amvo.exe", refusedBox, "delete C:\\amvo.exe",
                                     deleteErrorBox("C:\\amvo.exe", 5)}));
    rt.clock += 10000;
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), Trace{"delete C:\\amvo.exe"}) << "a retry ran a kill or told it again";
}

TEST_F(ThreatScanTest, ReadOnlyMarkIsClearedBeforeTheDelete) {
    rt.addFile("C:\\logged.txt", {.readOnly = true});
    scan.tick();
    EXPECT_EQ(rt.trace, (Trace{kHitMessage, "list C:\\logged.txt", "clear-readonly C:\\logged.txt",
                               "delete C:\\logged.txt"}));
    EXPECT_FALSE(rt.isFile("C:\\logged.txt"));
}

TEST_F(ThreatScanTest, FileGoneBeforeItsDeleteIsNoError) {
    rt.addFile("C:\\Explorer.exe", {.deleteError = kErrorFileNotFound});
    rt.addFile("C:\\WINDOWS\\services.exe", {.deleteError = kErrorPathNotFound});
    scan.tick();
    EXPECT_EQ(rt.trace, cat({hit("C:\\Explorer.exe"), hit("C:\\WINDOWS\\services.exe")}));
    rt.takeTrace();
    rt.addFile("C:\\Explorer.exe");  // a new copy is a new detection
    scan.tick();
    EXPECT_EQ(rt.trace, hit("C:\\Explorer.exe"));
}

TEST_F(ThreatScanTest, UndeletableFileIsReportedOnceThenRetriedQuietly) {
    rt.addFile("C:\\System32.exe", {.deleteError = 32});
    rt.addFile("C:\\svchost.dll");
    scan.tick();
    EXPECT_EQ(rt.trace, cat({hit("C:\\System32.exe"), {deleteErrorBox("C:\\System32.exe", 32)},
                             hit("C:\\svchost.dll")}));
    for (int pass = 0; pass < 2; ++pass) {
        rt.takeTrace();
        scan.tick();
        EXPECT_EQ(rt.trace, Trace{"delete C:\\System32.exe"});
    }
    rt.files[L"C:\\System32.exe"].deleteError = 0;  // released by its holder
    rt.takeTrace();
    scan.tick();
    EXPECT_EQ(rt.trace, Trace{"delete C:\\System32.exe"});
    EXPECT_FALSE(rt.isFile("C:\\System32.exe"));

    // Deleted by the quiet retry: its next appearance is a new detection.
    rt.addFile("C:\\System32.exe", {.deleteError = 5});
    rt.takeTrace();
    scan.tick();
    EXPECT_EQ(rt.trace, cat({hit("C:\\System32.exe"), {deleteErrorBox("C:\\System32.exe", 5)}}));
}

TEST_F(ThreatScanTest, UndeletableFileThatDisappearsIsNewWhenItReturns) {
    const Trace alert = cat({hit("C:\\RavMon.exe"), {deleteErrorBox("C:\\RavMon.exe", 5)}});
    rt.addFile("C:\\RavMon.exe", {.deleteError = 5});
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), alert);
    rt.files.clear();  // removed by someone else
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), Trace{});
    rt.addFile("C:\\RavMon.exe", {.deleteError = 5});
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), alert);

    // A quiet retry that finds it already gone ends the quiet spell as well.
    rt.files[L"C:\\RavMon.exe"].deleteError = kErrorFileNotFound;
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), Trace{"delete C:\\RavMon.exe"});
    rt.addFile("C:\\RavMon.exe", {.deleteError = 5});
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), alert);
}

TEST_F(ThreatScanTest, FileRecreatedAfterEachRemovalIsListedAgainEachPass) {
    for (int pass = 0; pass < 3; ++pass) {
        rt.addFile("C:\\bittorrent.exe", {.readOnly = pass == 1});
        scan.tick();
    }
    const Trace once = hit("C:\\bittorrent.exe");
    Trace readOnlyOnce = once;
    readOnlyOnce.insert(readOnlyOnce.begin() + 2, "clear-readonly C:\\bittorrent.exe");
    EXPECT_EQ(rt.trace, cat({once, readOnlyOnce, once}));
}

}  // namespace
}  // namespace dva::test
