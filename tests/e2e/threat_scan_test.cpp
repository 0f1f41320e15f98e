// The real-time threat scan: files placed on drive C and what the user sees of them.
#include <algorithm>
#include <filesystem>
#include <thread>

#include "control_ids.h"
#include "driver.h"
#include "known_threats.h"

namespace dva::e2e {
namespace {

// The program runs from a folder of its own, which is also its current folder, beside a planted
// taskkill.exe: only the system's own command may ever run for it.
class ThreatScan : public ProgramTest {
protected:
    void SetUp() override {
        removePath(kOwnFolder);
        removePath(callsFile(L"taskkill"));
        placeFile(kOwnFolder + L"taskkill.exe");
        ASSERT_TRUE(CopyFileW(kRecorder.c_str(), (kOwnFolder + L"taskkill.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(programFile().c_str(), programToStart().c_str(), FALSE)) << "error " << GetLastError();
        ProgramTest::SetUp();
    }
    void TearDown() override {
        ProgramTest::TearDown();
        // A command the program started may still run with the folder as its current one.
        const auto removed = [&] {
            std::error_code ignored;
            std::filesystem::remove_all(kOwnFolder, ignored);
            return !exists(kOwnFolder);
        };
        EXPECT_TRUE(waitFor(removed, 15s)) << "could not remove " << utf8(kOwnFolder);
        removePath(callsFile(L"taskkill"));
    }
    std::wstring programToStart() const override { return kOwnFolder + fileNameOf(programFile()); }

    const std::wstring kOwnFolder = L"C:\\dva-e2e-own-folder\\";
};

// Prepares drive C while a notice of the program is open: no pass runs while one of its boxes is
// open, so the next pass finds everything at once.
void holdScanWhile(const Program& p, const std::function<void()>& prepare) {
    p.clickMain(ids::main::reportThreat);
    const auto notice = p.waitForMessageBox(kReactWithin);
    ASSERT_TRUE(notice.has_value());
    prepare();
    p.close(*notice);
}

// A process started from a copy of the sleeper at the path; ended when the last copy goes.
std::shared_ptr<void> runSleeperAs(const std::wstring& path) {
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CopyFileW((binDir() + L"dva_sleeper.exe").c_str(), path.c_str(), FALSE) ||
        !CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return std::shared_ptr<void>(pi.hProcess, [](HANDLE h) {
        TerminateProcess(h, 1);
        WaitForSingleObject(h, 5000);
        CloseHandle(h);
    });
}

bool running(const std::shared_ptr<void>& process) {
    return process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

TEST_F(ThreatScan, ReportsInTableOrderAndLeavesFoldersHiddenAndSystemFilesAlone) {
    Program& p = program();
    // Wine gives a new file its marks just after creating it: no pass may look in between.
    ASSERT_NO_FATAL_FAILURE(holdScanWhile(p, [] {
        placeFile(L"C:\\AutoRun.inf\\inside.txt");  // a folder with a file in it
        CreateDirectoryW(L"C:\\mdm.exe", nullptr);
        placeFile(L"C:\\RavMon.exe", FILE_ATTRIBUTE_HIDDEN);
        placeFile(L"C:\\logged.txt", FILE_ATTRIBUTE_SYSTEM);
        placeFile(L"C:\\amvo.dll", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    }));
    ASSERT_TRUE((attributes(L"C:\\RavMon.exe") & attributes(L"C:\\amvo.dll") & FILE_ATTRIBUTE_HIDDEN) &&
                (attributes(L"C:\\logged.txt") & FILE_ATTRIBUTE_SYSTEM))
        << "the marks did not take: the case would prove nothing";
    const std::string untouched = threatFilesPresent();  // paths with their attributes
    EXPECT_TRUE(p.expectNoMessageBoxFor(3000ms));
    EXPECT_EQ(p.detectionsWindow(), nullptr);

    // Entries 14 and 3, in other letter case: the list shows the program's own spelling.
    ASSERT_NO_FATAL_FAILURE(holdScanWhile(p, [] {
        placeFile(L"C:\\svchost.dll");
        placeFile(L"c:\\SYSTEM32.EXE");
    }));
    // Nothing is deleted or listed until the user has closed the alert.
    auto alert = p.waitForAlert();
    ASSERT_TRUE(alert.has_value());
    EXPECT_TRUE(exists(L"C:\\System32.exe") && exists(L"C:\\svchost.dll"));
    EXPECT_EQ(p.detectionsWindow(), nullptr) << "listed before the alert was closed";
    p.close(*alert);

    alert = p.waitForAlert();
    ASSERT_TRUE(alert.has_value());
    EXPECT_FALSE(exists(L"C:\\System32.exe")) << "the first file was not deleted before the next alert";
    EXPECT_TRUE(exists(L"C:\\svchost.dll"));
    EXPECT_LINES(p.listLines(), {L"C:\\System32.exe"});
    p.close(*alert);

    EXPECT_TRUE(p.waitForLines({L"C:\\System32.exe", L"C:\\svchost.dll"}));
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\svchost.dll"); }, kReactWithin)) << "C:\\svchost.dll stays";
    ASSERT_NE(p.detectionsWindow(), nullptr);
    EXPECT_FALSE(IsWindowVisible(p.detectionsWindow())) << "a detection showed the detections window";
    EXPECT_TRUE(p.expectNoMessageBoxFor(2000ms));
    EXPECT_LINES(p.listLines(), {L"C:\\System32.exe", L"C:\\svchost.dll"});
    EXPECT_EQ(threatFilesPresent(), untouched);
    EXPECT_TRUE(exists(L"C:\\AutoRun.inf\\inside.txt"));
}

// All 19 in one pass; C:\amvo.exe is a running program, C:\amv0.exe is read-only.
TEST_F(ThreatScan, FindsEveryKnownFileInOnePassAndEndsTheRunningAmvo) {
    Program& p = program();
    const std::vector<std::wstring> all(test::kKnownThreats.begin(), test::kKnownThreats.end());
    std::shared_ptr<void> amvo;
    ASSERT_NO_FATAL_FAILURE(holdScanWhile(p, [&] {
        for (const auto& file : all) {
            if (file != L"C:\\amvo.exe") placeFile(file, file == L"C:\\amv0.exe" ? FILE_ATTRIBUTE_READONLY : 0);
        }
        amvo = runSleeperAs(L"C:\\amvo.exe");
    }));
    ASSERT_TRUE(running(amvo)) << "could not run the sleeper as C:\\amvo.exe (error " << GetLastError() << ")";
    for (size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE("alert " + std::to_string(i + 1));
        const auto alert = p.waitForAlert();
        ASSERT_TRUE(alert.has_value());
        // Each alert comes while its file is still there, after the one before is gone.
        EXPECT_TRUE(exists(all[i])) << utf8(all[i]);
        if (i > 0) {
            EXPECT_FALSE(exists(all[i - 1])) << utf8(all[i - 1]);
        }
        if (all[i] == L"C:\\amvo.exe") {
            EXPECT_TRUE(running(amvo)) << "ended before the user closed the alert";
        }
        p.close(*alert);
    }
    EXPECT_TRUE(p.waitForLines(all, kDetectWithin));
    EXPECT_TRUE(waitFor([] { return threatFilesPresent() == "  none\n"; }, kReactWithin))
        << "left behind:\n" << threatFilesPresent();
    EXPECT_FALSE(running(amvo)) << "C:\\amvo.exe still runs";
    EXPECT_EQ(recorderCalls(L"taskkill"), Calls{}) << "the taskkill.exe beside the program ran";
    EXPECT_TRUE(p.expectNoMessageBoxFor(2000ms));
    EXPECT_TRUE(p.alive());
}

// C:\WINDOWS\system32 is the 64-bit system folder. A 32-bit program on 64-bit Windows sees
// SysWOW64 at that path unless it turns the redirection off: the program must look at and delete
// the very path it names, and a file of the same name in SysWOW64 is no threat.
TEST_F(ThreatScan, LooksInTheRealSystem32AndLeavesTheSameNameInSysWow64Alone) {
    Program& p = program();
    wchar_t windows[MAX_PATH] = {};
    GetSystemWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring wow64Folder = std::wstring(windows) + L"\\SysWOW64";
    ASSERT_TRUE(attributes(wow64Folder) & FILE_ATTRIBUTE_DIRECTORY && exists(wow64Folder))
        << "no SysWOW64: the case would prove nothing";
    const std::wstring threat = L"C:\\WINDOWS\\system32\\NvCpls.exe", twin = wow64Folder + L"\\NvCpls.exe";
    const std::shared_ptr<void> removeTwin(nullptr, [&](void*) { removePath(twin); });
    placeFile(twin);
    EXPECT_TRUE(p.expectNoMessageBoxFor(3000ms)) << "the file in SysWOW64 was taken for " << utf8(threat);
    EXPECT_TRUE(exists(twin));

    placeFile(threat);
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({threat}));
    EXPECT_TRUE(waitFor([&] { return !exists(threat); }, kReactWithin)) << utf8(threat) << " stays";
    EXPECT_TRUE(p.expectNoMessageBoxFor(2000ms));
    EXPECT_TRUE(exists(twin)) << utf8(twin) << " was deleted";
}

TEST_F(ThreatScan, FileInUseIsReportedOnceAndRemovedOnceReleased) {
    Program& p = program();
    const std::wstring held = L"C:\\svchost.exe", after = L"C:\\WINDOWS\\eksplorasi.exe";
    std::shared_ptr<void> handle;
    ASSERT_NO_FATAL_FAILURE(holdScanWhile(p, [&] {
        placeFile(held);
        placeFile(after);
        handle = holdOpen(held);
    }));
    ASSERT_TRUE(handle) << "could not hold the file open (error " << GetLastError() << ")";

    // The alert and the line come first, then one error box names the file and gives a reason.
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({held}));
    const auto error = p.waitForMessageBox(kReactWithin);
    ASSERT_TRUE(error.has_value());
    EXPECT_TEXT(error->title, L"Hata");
    const std::wstring head = L"Tehdit dosyası silinemedi: " + held + L"\n";
    EXPECT_TEXT(error->text.substr(0, head.size()), head);
    EXPECT_GT(error->text.size(), head.size()) << "no reason after the path";
    // Left open over a few ticks, the error box gets no company.
    EXPECT_FALSE(waitFor([&] { return p.messageBoxes().size() > 1; }, 2500ms)) << p.describe();
    p.close(*error);

    // The pass goes on after the entry that failed; later passes retry the held file silently.
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({held, after}));
    EXPECT_TRUE(p.expectNoMessageBoxFor(3500ms));
    EXPECT_FALSE(exists(after));
    EXPECT_TRUE(exists(held));
    EXPECT_TRUE(p.alive()) << "the failed delete ended the program";

    handle.reset();
    EXPECT_TRUE(waitFor([&] { return !exists(held); }, kDetectWithin)) << "the released file stays";
    EXPECT_TRUE(p.expectNoMessageBoxFor(2000ms));
    EXPECT_LINES(p.listLines(), {held, after});
}

TEST_F(ThreatScan, ReturningFileIsReportedEachTimeWithOneBoxAtATime) {
    Program& p = program();
    const std::wstring path = L"C:\\WINDOWS\\ShellNew\\bronstab.exe";
    std::vector<std::wstring> expected;
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        placeFile(path);
        const auto alert = p.waitForAlert();
        ASSERT_TRUE(alert.has_value());
        if (round == 2) {
            // Left open over several ticks with its file still there: no second alert on top.
            EXPECT_FALSE(waitFor([&] { return p.messageBoxes().size() > 1; }, 3000ms)) << p.describe();
            EXPECT_TRUE(exists(path));
        }
        p.close(*alert);
        expected.push_back(path);
        EXPECT_TRUE(p.waitForLines(expected));
        EXPECT_TRUE(waitFor([&] { return !exists(path); }, kReactWithin));
        EXPECT_TRUE(p.expectNoMessageBoxFor(1500ms));
    }
    EXPECT_EQ(p.mostBoxesAtOnce(), 1);
}

}  // namespace
}  // namespace dva::e2e

namespace dva::e2e {
namespace {

// A C:\amvo.exe that cannot be ended: the system's own taskkill.exe is replaced by the recorder,
// which hangs for longer than the program waits for it.
class StuckThreat : public ThreatScan {
protected:
    void SetUp() override {
        putTaskkillBack();  // left by an earlier run cut short
        ASSERT_TRUE(MoveFileW(systemTaskkill().c_str(), aside().c_str())) << "error " << GetLastError();
        ASSERT_TRUE(CopyFileW(kRecorder.c_str(), systemTaskkill().c_str(), FALSE)) << "error " << GetLastError();
        overrideBuiltin_.set(L"native");  // Wine runs its own taskkill otherwise, whatever the file holds
        SetEnvironmentVariableW(L"DVA_RECORDER_LINGER_MS", L"7000");  // inherited by the program's commands
        ThreatScan::SetUp();
    }
    void TearDown() override {
        ThreatScan::TearDown();
        SetEnvironmentVariableW(L"DVA_RECORDER_LINGER_MS", nullptr);
        putTaskkillBack();
    }
    static std::wstring systemTaskkill() {
        wchar_t folder[MAX_PATH] = {};
        GetSystemDirectoryW(folder, MAX_PATH);
        return std::wstring(folder) + L"\\taskkill.exe";
    }
    static std::wstring aside() { return systemTaskkill() + L".dva-e2e"; }
    static void putTaskkillBack() {
        if (!exists(aside())) return;
        // A hanging stand-in may still run for a few seconds.
        EXPECT_TRUE(waitFor([] { return DeleteFileW(systemTaskkill().c_str()) || !exists(systemTaskkill()); }, 15s));
        EXPECT_TRUE(MoveFileW(aside().c_str(), systemTaskkill().c_str())) << "could not put taskkill.exe back";
    }

    RegistryValue overrideBuiltin_{HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", L"taskkill.exe"};
};

TEST_F(StuckThreat, KeepsTheWindowAnsweringAndStartsTheKillAtMostEveryTenSeconds) {
    Program& p = program();
    std::shared_ptr<void> amvo;
    ASSERT_NO_FATAL_FAILURE(holdScanWhile(p, [&] { amvo = runSleeperAs(L"C:\\amvo.exe"); }));
    ASSERT_TRUE(running(amvo)) << "could not run the sleeper as C:\\amvo.exe (error " << GetLastError() << ")";
    auto alert = p.waitForAlert();
    ASSERT_TRUE(alert.has_value());
    p.close(*alert);

    // For 26 s the main window is asked for WM_NULL every 100 ms, while the kill commands hang,
    // while the one error box is open and while the file is retried quietly.
    using Clock = std::chrono::steady_clock;
    HWND main = p.mainWindow();
    const auto start = Clock::now();
    std::vector<double> killedAt;  // seconds from the alert's close to each kill command seen
    int probes = 0, slow = 0, unanswered = 0;
    std::vector<std::wstring> boxes;
    while (Clock::now() - start < std::chrono::seconds(26)) {
        const auto asked = Clock::now();
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored)) ++unanswered;
        slow += Clock::now() - asked > std::chrono::milliseconds(250);
        ++probes;
        for (size_t n = recorderCalls(L"taskkill").size(); killedAt.size() < n;)
            killedAt.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        for (HWND box : p.messageBoxes()) {
            boxes.push_back(p.text(box) + L"|" + p.text(GetDlgItem(box, 0xFFFF)));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            waitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, kReactWithin);
        }
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(unanswered, 0) << "of " << probes << " WM_NULL";
    // The machine is shared: a few slow answers are noise, a window blocked by the 5 s wait is not.
    EXPECT_LE(slow, std::max(2, probes / 20)) << "of " << probes << " WM_NULL took longer than 250 ms";
    EXPECT_GE(probes, 100);

    // Started at once, then again after 10 s and 20 s: never sooner than 10 s after the last.
    ASSERT_GE(killedAt.size(), 2u) << ::testing::PrintToString(killedAt);
    EXPECT_LE(killedAt.size(), 3u) << ::testing::PrintToString(killedAt);
    for (size_t i = 1; i < killedAt.size(); ++i)
        EXPECT_GE(killedAt[i] - killedAt[i - 1], 9.0) << ::testing::PrintToString(killedAt);
    // Through the path that reaches the 64-bit System32, where the recorder stands in for taskkill.
    const std::string call = "Dravonil Veriz Avize.exe\t" + utf8(systemProgramFolderOfProgram()) +
                             "\\taskkill.exe\t/F\t/IM\tamvo.exe";
    for (const std::string& seen : recorderCalls(L"taskkill")) EXPECT_EQ(seen, call);

    // One box: the failed delete, told once; the retries are quiet.
    ASSERT_EQ(boxes.size(), 1u) << p.describe();
    EXPECT_EQ(boxes[0].rfind(L"Hata|Tehdit dosyası silinemedi: C:\\amvo.exe\n", 0), 0u) << utf8(boxes[0]);
    EXPECT_TRUE(running(amvo));
    EXPECT_TRUE(exists(L"C:\\amvo.exe"));
    EXPECT_TRUE(p.alive());
}

}  // namespace
}  // namespace dva::e2e
