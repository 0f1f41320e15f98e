// What another program of the same user must not be able to do with the program's rights: stop
// it by taking its single-copy name, or make it delete a file elsewhere through a redirected
// folder.
#include <iostream>
#include <string>

#include "driver.h"

namespace dva::e2e {
namespace {

// A fake copy: the squatter helper as "Dravonil Veriz Avize.exe" in a folder of its own, started
// before the program. It claims the single-copy name with a record naming itself and shows a
// window of the main window's class. A start that trusted the name, or a running copy's file
// name, would hand over to it and end: protection would be off.
const std::wstring kFakeFolder = L"C:\\dva-e2e-fake";
const std::wstring kAskedFile = L"C:\\dva-e2e-squatter-asked.txt";

class Squatter {
public:
    Squatter() {
        removePath(kFakeFolder);
        removePath(kAskedFile);
        const std::wstring fake = kFakeFolder + L"\\Dravonil Veriz Avize.exe";
        placeFile(fake);
        if (!CopyFileW((binDir() + L"dva_squatter.exe").c_str(), fake.c_str(), FALSE)) {
            ADD_FAILURE() << "could not copy the squatter (error " << GetLastError() << ")";
            return;
        }
        std::wstring line = L"\"" + fake + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(fake.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            ADD_FAILURE() << "could not start the squatter (error " << GetLastError() << ")";
            return;
        }
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
        pid_ = pi.dwProcessId;
        if (!waitFor([&] { return !windowsOf(pid_).empty() || WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; },
                     Ms{15000}) ||
            WaitForSingleObject(process_, 0) == WAIT_OBJECT_0)
            ADD_FAILURE() << "the squatter did not take the name and show its window";
    }
    ~Squatter() {
        if (process_) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 10000);
            CloseHandle(process_);
        }
        removePath(kFakeFolder);
        removePath(kAskedFile);
    }
    Squatter(const Squatter&) = delete;
    Squatter& operator=(const Squatter&) = delete;

    bool alive() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
    // Whether a start asked the fake copy to come forward.
    static bool asked() { return exists(kAskedFile); }

private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

class SquattedName : public ProgramTest {
protected:
    Squatter squatter_;  // made before SetUp starts the program
};

TEST_F(SquattedName, DoesNotStopARealStartFromProtecting) {
    Program& p = program();
    ASSERT_TRUE(squatter_.alive());
    ASSERT_TRUE(p.alive()) << "the program handed over to the fake copy and ended";
    EXPECT_TRUE(p.mainVisible());
    EXPECT_FALSE(Squatter::asked()) << "the program asked the fake copy to come forward";

    // It protects: a planted threat is reported and removed.
    placeFile(L"C:\\logged.txt");
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\logged.txt"); }, kDetectWithin)) << "the threat file stayed";

    // A later start finds the real copy, not the fake one, and hands over to it.
    const OtherStart again = startAgain(Ms{10000});
    EXPECT_EQ(again.exitCode, std::optional<DWORD>{0}) << "the second start did not hand over and end";
    EXPECT_TRUE(again.windowsShown.empty()) << "the second start showed a window of its own";
    EXPECT_FALSE(Squatter::asked()) << "the second start asked the fake copy to come forward";
    EXPECT_TRUE(p.alive());
}

// ---- deleting never follows a redirect ----

// Where the files behind the links live: outside every threat path.
const std::wstring kElsewhere = L"C:\\dva-e2e-elsewhere";
const std::wstring kLinkedFolder = L"C:\\WINDOWS\\ShellNew";  // a folder of a threat path
const std::wstring kAside = kLinkedFolder + L".dva-e2e-aside";    // a real one, while the link stands there


// Runs a Unix program (Wine starts ELF files too) and waits for it. Neither its exit code nor its
// end come through Wine reliably: callers wait for the result instead.
void runUnix(const std::wstring& line) {
    std::wstring buffer = line;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::cout << utf8(line) << ": not started (error " << GetLastError() << ")" << std::endl;
        return;
    }
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}

std::wstring wide(const std::string& text) { return {text.begin(), text.end()}; }  // ASCII paths

// On drive C's Unix side, links that make threat paths lead to files elsewhere: a folder of a
// threat path that is a symbolic link, a threat file that is a symbolic link, and a threat file
// that is another name (hard link) of a file elsewhere. Under Wine a Unix link inside drive_c
// shows as a plain folder or file; only its final path (or its link count) tells.
class Redirected : public ProgramTest {
protected:
    void SetUp() override {
        if (!underWine() || unixPath(L"C:\\").empty()) GTEST_SKIP() << "links are made on drive C's Unix side, under Wine";
        removeLinks();
        // A real C:\WINDOWS\ShellNew (other cases make it) goes aside while the link stands there.
        if (exists(kAside) && !exists(kLinkedFolder)) MoveFileW(kAside.c_str(), kLinkedFolder.c_str());  // a run cut short
        if (exists(kLinkedFolder)) {
            ASSERT_TRUE(MoveFileW(kLinkedFolder.c_str(), kAside.c_str())) << "could not move " << utf8(kLinkedFolder) << " aside";
        }
        placeFile(kElsewhere + L"\\bronstab.exe", FILE_ATTRIBUTE_READONLY);
        placeFile(kElsewhere + L"\\lib.dll");
        placeFile(kElsewhere + L"\\keep.txt");
        ProgramTest::SetUp();
    }
    void TearDown() override {
        if (!underWine()) return;
        removeLinks();  // first: clearing the threat paths would delete the files behind them
        ProgramTest::TearDown();
        for (const wchar_t* name : {L"\\bronstab.exe", L"\\lib.dll", L"\\keep.txt"}) removePath(kElsewhere + name);
        removePath(kElsewhere);
        if (exists(kAside)) {
            EXPECT_TRUE(MoveFileW(kAside.c_str(), kLinkedFolder.c_str())) << "could not put back " << utf8(kLinkedFolder);
        }
    }
    // Links are taken away by Unix before the files are cleared, so nothing behind them goes; a
    // real file or folder at those paths stays, and a link whose target is gone (which Windows
    // does not see) goes too.
    static void removeLinks() {
        for (const std::wstring& path : {kLinkedFolder, std::wstring(L"C:\\svchost.dll"), std::wstring(L"C:\\logged.txt")}) {
            const std::string unix = unixPath(path);
            if (unix.empty()) continue;
            runUnix(L"Z:\\bin\\sh -c \"[ -L '" + wide(unix) + L"' ] && rm -f '" + wide(unix) + L"'; true\"");
            // Shown through the link only: lib.dll lies elsewhere.
            const std::wstring shown = path == kLinkedFolder ? kLinkedFolder + L"\\lib.dll" : path;
            waitFor([&] { return !exists(shown); }, 2000ms);
        }
    }
    static bool link(const std::wstring& target, const std::wstring& at, bool symbolic) {
        const std::string from = unixPath(target), to = unixPath(at);
        if (from.empty() || to.empty()) return false;
        runUnix(std::wstring(L"Z:\\bin\\ln ") + (symbolic ? L"-s " : L"") + wide(from) + L" " + wide(to));
        // Wine may report the Unix process ended before its work shows.
        return waitFor([&] { return exists(at); }, kReactWithin);
    }

    // The threat at `path` is reported, then its delete is refused once with `reason`, and no
    // box follows while the scan goes on.
    void expectRefused(const std::wstring& path, const std::wstring& reason) {
        Program& p = program();
        EXPECT_TRUE(p.expectAlert()) << utf8(path);
        EXPECT_TRUE(p.expectBox(L"Hata", L"Tehdit dosyası silinemedi: " + path + L"\n" + reason)) << utf8(path);
        EXPECT_TRUE(p.expectNoMessageBoxFor(2500ms)) << "told more than once: " << utf8(path);
        EXPECT_TRUE(exists(path)) << utf8(path) << " went";
    }
};

TEST_F(Redirected, FilesBehindALinkStayAndAreToldOnce) {
    // A folder of the threat path leads elsewhere: the read-only file there keeps its mark and stays.
    ASSERT_TRUE(link(kElsewhere, kLinkedFolder, true)) << "could not link " << utf8(kLinkedFolder);
    expectRefused(kLinkedFolder + L"\\bronstab.exe",
                  L"Yoldaki bir klasör başka bir yere yönlendiriliyor (bağlantı veya bağlantı noktası); oradaki dosya silinmedi.");
    EXPECT_NE(attributes(kElsewhere + L"\\bronstab.exe") & FILE_ATTRIBUTE_READONLY, 0u) << "its read-only mark was cleared";

    // The threat file is itself a link to a file elsewhere.
    ASSERT_TRUE(link(kElsewhere + L"\\lib.dll", L"C:\\svchost.dll", true));
    expectRefused(L"C:\\svchost.dll",
                  L"Yoldaki bir klasör başka bir yere yönlendiriliyor (bağlantı veya bağlantı noktası); oradaki dosya silinmedi.");
    EXPECT_TRUE(exists(kElsewhere + L"\\lib.dll"));

    // The threat file is another name of a file elsewhere.
    ASSERT_TRUE(link(kElsewhere + L"\\keep.txt", L"C:\\logged.txt", false));
    expectRefused(L"C:\\logged.txt",
                  L"Dosyanın başka adları (sabit bağlantıları) var; başka bir yerdeki dosya da değişeceği için silinmedi.");
    EXPECT_TRUE(exists(kElsewhere + L"\\keep.txt"));

    // Its own files are still removed as before.
    placeFile(L"C:\\amv0.dll");
    EXPECT_TRUE(program().expectAlert());
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\amv0.dll"); }, kDetectWithin)) << "a plain threat file stayed";
    EXPECT_TRUE(program().alive());
}

}  // namespace
}  // namespace dva::e2e
