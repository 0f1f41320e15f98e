// The real-time threat scan, seen from outside: files placed on drive C and what the user sees.
#include <string>
#include <vector>

#include "control_ids.h"
#include "driver.h"
#include "known_threats.h"

namespace dva::e2e {
namespace {

using ThreatScan = ProgramTest;

// Places the files while a notice of the program is open: no pass runs while one of its boxes is
// open, so the next pass finds all of them at once instead of some in one pass and some in the next.
void placeForOnePass(Program& p, const std::vector<std::wstring>& files) {
    p.clickMain(ids::Form1Command3);
    const auto notice = p.waitForMessageBox(kReactWithin);
    ASSERT_TRUE(notice.has_value());
    for (const auto& file : files) placeFile(file);
    p.close(*notice);
}

// An open handle to a file that allows reading and writing by others but not deleting.
class HeldOpen {
public:
    explicit HeldOpen(const std::wstring& path)
        : h_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldOpen() { release(); }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    bool held() const { return h_ != INVALID_HANDLE_VALUE; }
    void release() {
        if (held()) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_;
};

// A process running from the file C:\amvo.exe.
class RunningThreat {
public:
    explicit RunningThreat(const std::wstring& path) {
        const std::wstring sleeper = binDir() + L"dva_sleeper.exe";
        if (!CopyFileW(sleeper.c_str(), path.c_str(), FALSE)) {
            ADD_FAILURE() << "could not copy " << utf8(sleeper) << " to " << utf8(path) << " (error "
                          << GetLastError() << ")";
            return;
        }
        std::wstring commandLine = L"\"" + path + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            ADD_FAILURE() << "could not start " << utf8(path) << " (error " << GetLastError() << ")";
            return;
        }
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
    }
    ~RunningThreat() {
        if (running()) TerminateProcess(process_, 1);
        if (process_) {
            WaitForSingleObject(process_, 5000);
            CloseHandle(process_);
        }
    }
    RunningThreat(const RunningThreat&) = delete;
    RunningThreat& operator=(const RunningThreat&) = delete;
    bool running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

private:
    HANDLE process_ = nullptr;
};

TEST_F(ThreatScan, ReportsListsAndDeletesEachFileInTableOrder) {
    Program& p = program();
    // Written in other letter case than the program knows them: the list shows its own spelling.
    ASSERT_NO_FATAL_FAILURE(placeForOnePass(p, {L"C:\\svchost.dll", L"c:\\SYSTEM32.EXE"}));

    // First alert: C:\System32.exe comes before C:\svchost.dll. Nothing is done to either file
    // and nothing is listed until the user has closed it.
    auto first = p.waitForMessageBox();
    ASSERT_TRUE(first.has_value());
    EXPECT_TEXT(first->title, L"Virüs Bulundu!");
    EXPECT_TEXT(first->text, L"Sisteminizde virus tespit edildi!");
    EXPECT_TRUE(exists(L"C:\\System32.exe"));
    EXPECT_TRUE(exists(L"C:\\svchost.dll"));
    EXPECT_EQ(p.form2(), nullptr) << "listed before the alert was closed";
    p.close(*first);

    auto second = p.waitForMessageBox();
    ASSERT_TRUE(second.has_value());
    EXPECT_TEXT(second->title, L"Virüs Bulundu!");
    EXPECT_TEXT(second->text, L"Sisteminizde virus tespit edildi!");
    EXPECT_FALSE(exists(L"C:\\System32.exe")) << "the first file was not deleted before the next alert";
    EXPECT_TRUE(exists(L"C:\\svchost.dll"));
    EXPECT_LINES(p.listLines(), {L"C:\\System32.exe"});
    p.close(*second);

    EXPECT_TRUE(p.waitForLines({L"C:\\System32.exe", L"C:\\svchost.dll"}));
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\svchost.dll"); }, kReactWithin)) << "C:\\svchost.dll stays";
    // The detections window holds the list but is not shown by a detection.
    ASSERT_NE(p.form2(), nullptr);
    EXPECT_FALSE(IsWindowVisible(p.form2()));
    EXPECT_TRUE(p.expectNoMessageBoxFor(2500ms));
    EXPECT_LINES(p.listLines(), {L"C:\\System32.exe", L"C:\\svchost.dll"});
}

TEST_F(ThreatScan, FindsEveryKnownFileInOnePass) {
    Program& p = program();
    const std::vector<std::wstring> all(kKnownThreats.begin(), kKnownThreats.end());
    ASSERT_NO_FATAL_FAILURE(placeForOnePass(p, all));
    for (size_t i = 0; i < all.size(); ++i) {
        const auto alert = p.waitForMessageBox();
        ASSERT_TRUE(alert.has_value()) << "alert " << i + 1 << " of " << all.size();
        EXPECT_TEXT(alert->title, L"Virüs Bulundu!") << "alert " << i + 1;
        EXPECT_TEXT(alert->text, L"Sisteminizde virus tespit edildi!") << "alert " << i + 1;
        // The alert for a file comes while it is still there, after the ones before it are gone.
        EXPECT_TRUE(exists(all[i])) << utf8(all[i]);
        if (i > 0) EXPECT_FALSE(exists(all[i - 1])) << utf8(all[i - 1]);
        p.close(*alert);
    }
    EXPECT_TRUE(p.waitForLines(all, kDetectWithin));
    EXPECT_TRUE(waitFor([] { return threatFilesPresent() == "  none\n"; }, kReactWithin))
        << "left behind:\n" << threatFilesPresent();
    EXPECT_TRUE(p.expectNoMessageBoxFor(2000ms));
    EXPECT_TRUE(p.alive());
}

TEST_F(ThreatScan, LeavesFoldersHiddenFilesAndSystemFilesAlone) {
    Program& p = program();
    placeFolder(L"C:\\AutoRun.inf");
    placeFile(L"C:\\AutoRun.inf\\inside.txt");
    placeFolder(L"C:\\mdm.exe");
    placeFile(L"C:\\RavMon.exe", FILE_ATTRIBUTE_HIDDEN);
    placeFile(L"C:\\logged.txt", FILE_ATTRIBUTE_SYSTEM);
    placeFile(L"C:\\amvo.dll", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    const struct {
        const wchar_t* path;
        DWORD attrs;
    } untouched[] = {
        {L"C:\\AutoRun.inf", attributes(L"C:\\AutoRun.inf")},
        {L"C:\\AutoRun.inf\\inside.txt", attributes(L"C:\\AutoRun.inf\\inside.txt")},
        {L"C:\\mdm.exe", attributes(L"C:\\mdm.exe")},
        {L"C:\\RavMon.exe", attributes(L"C:\\RavMon.exe")},
        {L"C:\\logged.txt", attributes(L"C:\\logged.txt")},
        {L"C:\\amvo.dll", attributes(L"C:\\amvo.dll")},
    };
    // The marks really are there, else this case would prove nothing.
    ASSERT_TRUE(untouched[0].attrs & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(untouched[2].attrs & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(untouched[3].attrs & FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(untouched[4].attrs & FILE_ATTRIBUTE_SYSTEM);
    ASSERT_TRUE(untouched[5].attrs & FILE_ATTRIBUTE_HIDDEN);

    EXPECT_TRUE(p.expectNoMessageBoxFor(3000ms));
    EXPECT_EQ(p.form2(), nullptr);

    // The scan is running all the while: a plain file among them is found at once.
    placeFile(L"C:\\bittorrent.exe");
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({L"C:\\bittorrent.exe"}));
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\bittorrent.exe"); }, kReactWithin));
    EXPECT_TRUE(p.expectNoMessageBoxFor(2000ms));
    for (const auto& u : untouched) EXPECT_EQ(attributes(u.path), u.attrs) << utf8(u.path) << " was touched";
    EXPECT_LINES(p.listLines(), {L"C:\\bittorrent.exe"});
}

TEST_F(ThreatScan, EndsTheRunningAmvoProcessAndDeletesItsFile) {
    Program& p = program();
    std::optional<RunningThreat> threat;
    // The program may find the copy before it runs; hold the scan in a notice meanwhile.
    p.clickMain(ids::Form1Command3);
    const auto notice = p.waitForMessageBox(kReactWithin);
    ASSERT_TRUE(notice.has_value());
    threat.emplace(L"C:\\amvo.exe");
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(threat->running());
    p.close(*notice);

    auto alert = p.waitForMessageBox();
    ASSERT_TRUE(alert.has_value());
    EXPECT_TEXT(alert->title, L"Virüs Bulundu!");
    EXPECT_TEXT(alert->text, L"Sisteminizde virus tespit edildi!");
    EXPECT_TRUE(threat->running()) << "the process was ended before the user closed the alert";
    p.close(*alert);

    EXPECT_TRUE(p.waitForLines({L"C:\\amvo.exe"}));
    EXPECT_TRUE(waitFor([&] { return !threat->running(); }, Ms{8000})) << "amvo.exe is still running";
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\amvo.exe"); }, Ms{8000})) << "C:\\amvo.exe stays";
    // Deleted at the first try: no error box, and no second alert.
    EXPECT_TRUE(p.expectNoMessageBoxFor(2500ms));
    EXPECT_LINES(p.listLines(), {L"C:\\amvo.exe"});
    EXPECT_TRUE(p.alive());
}

TEST_F(ThreatScan, FileInUseIsReportedOnceAndRemovedOnceReleased) {
    Program& p = program();
    const std::wstring held = L"C:\\svchost.exe", after = L"C:\\WINDOWS\\eksplorasi.exe";
    std::optional<HeldOpen> handle;
    p.clickMain(ids::Form1Command3);
    const auto notice = p.waitForMessageBox(kReactWithin);
    ASSERT_TRUE(notice.has_value());
    placeFile(held);
    placeFile(after);
    handle.emplace(held);
    ASSERT_TRUE(handle->held()) << "error " << GetLastError();
    p.close(*notice);

    // The alert and the line come first, then the failed delete is explained in one error box.
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({held}));
    const auto error = p.waitForMessageBox(kReactWithin);
    ASSERT_TRUE(error.has_value());
    EXPECT_TEXT(error->title, L"Hata");
    const std::wstring head = L"Tehdit dosyası silinemedi: " + held + L"\n";
    EXPECT_TEXT(error->text.substr(0, head.size()), head);
    const std::wstring reason = error->text.size() > head.size() ? error->text.substr(head.size()) : L"";
    // Left open over a few ticks, the error box gets no company.
    EXPECT_FALSE(waitFor([&] { return p.messageBoxes().size() > 1; }, 2500ms)) << p.describe();
    EXPECT_NE(reason.find_first_not_of(L" \r\n\t"), std::wstring::npos) << "no reason after the path";
    EXPECT_EQ(reason.find(L'\n'), std::wstring::npos) << "the reason is not one line: " << utf8(reason);
    p.close(*error);

    // The pass goes on with the entries after the one that failed.
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({held, after}));
    EXPECT_TRUE(waitFor([&] { return !exists(after); }, kReactWithin));

    // While the file stays held, later passes try again without a word.
    EXPECT_TRUE(p.expectNoMessageBoxFor(3500ms));
    EXPECT_TRUE(exists(held));
    EXPECT_TRUE(p.alive()) << "the failed delete ended the program";

    handle->release();
    EXPECT_TRUE(waitFor([&] { return !exists(held); }, kDetectWithin)) << "the released file stays";
    EXPECT_TRUE(p.expectNoMessageBoxFor(2000ms));
    EXPECT_LINES(p.listLines(), {held, after});
}

TEST_F(ThreatScan, ReadOnlyFileIsRemoved) {
    Program& p = program();
    placeFile(L"C:\\amv0.exe", FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({L"C:\\amv0.exe"}));
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\amv0.exe"); }, kReactWithin));
    EXPECT_TRUE(p.expectNoMessageBoxFor(2500ms)) << "a second alert or an error box for a read-only file";
    EXPECT_LINES(p.listLines(), {L"C:\\amv0.exe"});
}

TEST_F(ThreatScan, ReturningFileIsReportedEachTime) {
    Program& p = program();
    const std::wstring path = L"C:\\WINDOWS\\ShellNew\\bronstab.exe";
    std::vector<std::wstring> expected;
    for (int round = 1; round <= 3; ++round) {
        placeFile(path);
        if (round == 2) {
            // An alert left open over several ticks, with its file still there: the ticks that
            // fall due meanwhile must not stack a second alert on it.
            const auto alert = p.waitForMessageBox();
            ASSERT_TRUE(alert.has_value());
            EXPECT_FALSE(waitFor([&] { return p.messageBoxes().size() > 1; }, 3000ms))
                << "a second box opened over the first\n" << p.describe();
            EXPECT_TRUE(exists(path));
            EXPECT_TEXT(alert->text, L"Sisteminizde virus tespit edildi!");
            p.close(*alert);
        } else {
            EXPECT_TRUE(p.expectAlert()) << "round " << round;
        }
        expected.push_back(path);
        EXPECT_TRUE(p.waitForLines(expected)) << "round " << round;
        EXPECT_TRUE(waitFor([&] { return !exists(path); }, kReactWithin)) << "round " << round;
        EXPECT_TRUE(p.expectNoMessageBoxFor(1500ms)) << "round " << round;
    }
    EXPECT_EQ(p.mostBoxesAtOnce(), 1);
    EXPECT_FALSE(IsWindowVisible(p.form2()));
}

}  // namespace
}  // namespace dva::e2e
