// The about window, the support agreement and the support window, reached from the main window.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "control_ids.h"
#include "driver.h"
#include "product_config.h"
#include "window_classes.h"

namespace dva::e2e {
namespace {

const std::wstring kAboutText = L"Dravonil USB Security\r\nSürüm: Beta 0.1\r\nVirüs Temizleme Modülü: 0.2\r\n"
                                L"Son Güncelleme: 30 Ağustos 2009\r\n\r\n" +
                                std::wstring(20, L'=') +
                                L"\r\n\r\nKodlayan: " DVA_AUTHOR L"\r\nBeta Tester: " DVA_TESTER
                                L"\r\nMSN: " DVA_CONTACT L"\r\nWeb: " DVA_HOME_PAGE L"\r\n";
constexpr wchar_t kWarningText[] =
    L"BU UYARIYI KESİNLİKLE OKUYUNUZ!\r\n"
    L"\r\n"
    L"Yapacağınız \"konuşma/yazışma\" ve \"IP\" Adresiniz güvenlik amacıyla sistem \r\n"
    L"tarafından kaydedilir eğer argo, kaba dil, hakaret, küfür etme gibi girişmlerde \r\n"
    L"bulunmanız dahilinde hakkınızda gereken işlem yapılacaktır.\r\n"
    L"\r\n"
    L"Bu konuşmada ilk önce bot ile konuşacaksınız daha sonra ise operatörümüze bağlanacaksınız.\r\n";

const std::wstring kBrowserPath = L"C:\\Program Files\\Internet Explorer\\iexplore.exe";
const std::wstring kBrowserAside = kBrowserPath + L".dva-e2e";  // the prefix's own, while a case runs
// Where Windows looks first for the unquoted browser path.
const std::wstring kPlanted = L"C:\\Program.exe";
const std::wstring kDefaultBrowser = L"C:\\dva-e2e-default-browser\\iexplore.exe";
const std::string kSupportPage = DVA_SUPPORT_SCHEME_A "://" DVA_SUPPORT_HOST_A "/dravonil/destek.html";

Calls browserCalls() { return recorderCalls(L"iexplore"); }

// A web proxy on a free loopback port that answers every page request with an empty page. The prefix's
// Internet settings point the program at it, so every page the program asks for arrives here.
class LoopbackProxy {
public:
    LoopbackProxy() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof at;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) || listen(listener_, 8) ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length))
            return;
        port_ = ntohs(at.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackProxy() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        closesocket(listener_);
        WSACleanup();
    }
    int port() const { return port_; }
    // The request lines seen so far, as "METHOD absolute-address".
    std::vector<std::string> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    // Requests for the support page. Over HTTPS the browser asks the proxy for a tunnel to the
    // host's port 443 and sends the page's address only inside it; over plain HTTP it asks for the
    // page itself, with the default port written out or not.
    int pageRequests() const {
        const std::string scheme = DVA_SUPPORT_SCHEME_A, host = DVA_SUPPORT_HOST_A;
        const bool hasPort = host.find(':') != std::string::npos;
        std::vector<std::string> forms;
        if (scheme == "https") {
            forms = {"CONNECT " + host + (hasPort ? "" : ":443")};
        } else {
            std::string withPort = kSupportPage;
            withPort.insert(withPort.find('/', scheme.size() + 3), hasPort ? "" : ":80");
            forms = {"GET " + kSupportPage, "GET " + withPort};
        }
        int n = 0;
        for (const auto& seen : requests()) n += std::find(forms.begin(), forms.end(), seen) != forms.end();
        return n;
    }

private:
    void serve() {
        while (!stop_) {
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(listener_, &ready);
            timeval wait{0, 100000};
            if (select(0, &ready, nullptr, nullptr, &wait) != 1) continue;
            SOCKET client = accept(listener_, nullptr, nullptr);
            DWORD timeoutMs = 3000;
            setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
            std::string head;
            char buffer[2048];
            for (int n; head.find("\r\n\r\n") == std::string::npos && (n = recv(client, buffer, sizeof buffer, 0)) > 0;)
                head.append(buffer, static_cast<size_t>(n));
            if (!head.empty()) {
                std::lock_guard lock(mutex_);
                requests_.push_back(head.substr(0, head.find(" HTTP/")));
            }
            // A tunnel is refused: the test only needs to see it asked for. (Wine's wininet also
            // fails an assertion when a granted tunnel leads to a host it has not looked up.)
            const std::string reply =
                head.rfind("CONNECT ", 0) == 0
                    ? "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
                    : "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nCache-Control: no-store\r\n"
                      "Content-Length: 13\r\nConnection: close\r\n\r\n<html></html>";
            send(client, reply.data(), static_cast<int>(reply.size()), 0);
            closesocket(client);
        }
    }

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
};

void closeByCloseBox(HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

// ---- the about window ----

// The link starts a browser: the prefix's own goes aside, and the recorder stands in for it, for
// the default browser, and for a program planted where an unquoted path would find one first.
class AboutWindow : public ProgramTest {
protected:
    void SetUp() override {
        putBrowserBack();  // left aside by an earlier run cut short
        removeTraces();
        if (!MoveFileW(kBrowserPath.c_str(), kBrowserAside.c_str()) && exists(kBrowserPath))
            FAIL() << "could not move the browser program aside (error " << GetLastError() << ")";
        for (const std::wstring& copy : {kBrowserPath, kDefaultBrowser, kPlanted}) {
            placeFile(copy);
            ASSERT_TRUE(CopyFileW(kRecorder.c_str(), copy.c_str(), FALSE)) << "error " << GetLastError();
        }
        ProgramTest::SetUp();
    }
    void TearDown() override {
        ProgramTest::TearDown();
        putBrowserBack();
        removeTraces();
    }
    static void removeTraces() {
        for (const std::wstring& path :
             {callsFile(L"iexplore"), callsFile(L"Program"), kPlanted, kDefaultBrowser.substr(0, kDefaultBrowser.rfind(L'\\'))})
            removePath(path);
    }
    static void putBrowserBack() {
        if (!exists(kBrowserAside)) return;
        DeleteFileW(kBrowserPath.c_str());
        EXPECT_TRUE(MoveFileW(kBrowserAside.c_str(), kBrowserPath.c_str())) << "could not put the browser back";
    }

    HWND open() {
        EXPECT_TRUE(waitForDesktopShell()) << "the desktop shell did not answer";
        postLeftClick(program().mainControl(ids::main::about), 2, 2);
        return program().waitShown(window_class::kAbout);
    }
    // Clicks "Dravonil Online"; returns the browser starts once there are this many, or after 4 s.
    Calls clickLink(HWND about, size_t calls) {
        postLeftClick(GetDlgItem(about, ids::about::link), 2, 2);
        waitFor([&] { return browserCalls().size() >= calls; }, kReactWithin);
        EXPECT_FALSE(waitFor([&] { return browserCalls().size() > calls; }, 1000ms)) << "more than one start";
        return browserCalls();
    }

    // The system's default browser, as ShellExecute finds it for http addresses.
    RegistryValue httpOpen_{HKEY_LOCAL_MACHINE, L"Software\\Classes\\http\\shell\\open\\command", L""};
};

TEST_F(AboutWindow, ShowsItsTextInOneWindowAndItsLinkStartsTheBrowser) {
    Program& p = program();
    HWND about = open();
    ASSERT_NE(about, nullptr);
    EXPECT_TEXT(p.text(about), L"Dravonil Veriz Avize Hakkında");
    EXPECT_TRUE(clientIs(about, 226, 193));
    HWND text = GetDlgItem(about, ids::about::credits);
    EXPECT_TEXT(p.text(text), kAboutText);
    EXPECT_TEXT(p.text(GetDlgItem(about, ids::about::link)), L"Dravonil Online");

    // "Hakkında" again shows the same window, as it is.
    SetWindowTextW(text, L"changed while open");
    EXPECT_EQ(open(), about) << "a second about window was made";
    EXPECT_TEXT(p.text(text), L"changed while open");

    // The browser at its fixed path gets the home page, once per click. With raised rights, the
    // program leaves the start to the desktop shell, so that the browser gets the user's rights.
    const std::string starter = testRunsElevated() ? "explorer.exe" : utf8(fileNameOf(programFile()));
    const std::string fixedCall = starter + "\t" + utf8(kBrowserPath) + "\t" DVA_HOME_PAGE_A;
    EXPECT_EQ(clickLink(about, 1), Calls{fixedCall});
    EXPECT_EQ(clickLink(about, 2), (Calls{fixedCall, fixedCall}));
    EXPECT_EQ(p.waitShown(window_class::kAbout), about) << "the about window did not stay open";

    // No program at that path: the home page goes to the default browser.
    ASSERT_TRUE(DeleteFileW(kBrowserPath.c_str()));
    httpOpen_.set(L"\"" + kDefaultBrowser + L"\" \"%1\"");
    EXPECT_EQ(clickLink(about, 3),
              (Calls{fixedCall, fixedCall, starter + "\t" + utf8(kDefaultBrowser) + "\t" DVA_HOME_PAGE_A}));
    EXPECT_EQ(recorderCalls(L"Program"), Calls{}) << "the planted " << utf8(kPlanted) << " ran";

    // Nothing can open it: one box names the address and a reason, and the program goes on.
    httpOpen_.set(L"\"C:\\dva-e2e-no-such-browser.exe\" \"%1\"");
    postLeftClick(GetDlgItem(about, ids::about::link), 2, 2);
    const auto box = p.waitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_TEXT(box->title, L"Hata");
    const std::wstring lead = L"Web sayfası açılamadı: " DVA_HOME_PAGE L"\n";
    EXPECT_TRUE(box->text.rfind(lead, 0) == 0 && box->text.size() > lead.size()) << utf8(box->text);
    p.close(*box);
    EXPECT_TRUE(p.expectNoMessageBoxFor(1000ms)) << "more than one box for one click";
    EXPECT_EQ(browserCalls().size(), 3u);

    // Closed, it is loaded afresh by the next click, with the designed text.
    closeByCloseBox(about);
    ASSERT_TRUE(p.waitGone(window_class::kAbout));
    about = open();
    ASSERT_NE(about, nullptr);
    EXPECT_TEXT(p.text(GetDlgItem(about, ids::about::credits)), kAboutText);
    EXPECT_TRUE(p.alive());
}

// ---- the support agreement and the support window ----

// The process that started process `pid`: its id and file name ("explorer.exe"), from a snapshot.
std::pair<DWORD, std::string> parentOf(DWORD pid) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return {0, "?"};
    std::vector<PROCESSENTRY32W> all;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) all.push_back(entry);
    CloseHandle(snapshot);
    DWORD parent = 0;
    for (const auto& e : all)
        if (e.th32ProcessID == pid) parent = e.th32ParentProcessID;
    for (const auto& e : all) {
        if (!parent || e.th32ProcessID != parent) continue;
        std::wstring name = e.szExeFile;
        return {parent, utf8(name.substr(name.find_last_of(L"\\/") + 1))};
    }
    return {parent, "?"};
}

DWORD processOf(HWND h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    return pid;
}

// Visible support windows of any process: with raised rights the program shows the window from
// a second process of its own.
std::vector<HWND> supportWindowsAnywhere() {
    std::vector<HWND> found;
    for (HWND h = FindWindowExW(nullptr, nullptr, window_class::kSupport, nullptr); h;
         h = FindWindowExW(nullptr, h, window_class::kSupport, nullptr))
        if (IsWindowVisible(h)) found.push_back(h);
    return found;
}

// The support window's browser control reaches the web through the test's own proxy.
class OnlineSupport : public ProgramTest {
protected:
    void SetUp() override {
        ASSERT_NE(proxy_.port(), 0) << "the loopback proxy could not listen (WSA error " << WSAGetLastError() << ")";
        const DWORD on = 1;
        proxyEnable_.set(REG_DWORD, &on, sizeof on);
        proxyServer_.set(L"127.0.0.1:" + std::to_wstring(proxy_.port()));
        ProgramTest::SetUp();
        if (IsSkipped()) return;
        EXPECT_TRUE(waitForDesktopShell()) << "the desktop shell did not answer";
    }
    void TearDown() override {
        // A support copy the case left open goes with the program.
        for (HWND h : supportWindowsAnywhere()) {
            if (HANDLE copy = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processOf(h))) {
                TerminateProcess(copy, 1);
                WaitForSingleObject(copy, 10000);
                CloseHandle(copy);
            }
        }
        ProgramTest::TearDown();
    }

    // The one visible support window, wherever it is; checks which process shows it: the program
    // itself, or with raised rights a copy of the program that the desktop shell started (so it
    // has the shell's rights, not the program's) and that shows nothing else.
    HWND waitSupportShown() {
        std::vector<HWND> shown;
        if (!waitFor([&] { return (shown = supportWindowsAnywhere()).size() == 1; }, Ms{15000})) {
            ADD_FAILURE() << shown.size() << " visible support windows, not one\n" << program().describe();
            return nullptr;
        }
        const DWORD pid = processOf(shown.front());
        if (!testRunsElevated()) {
            EXPECT_EQ(pid, processOfMain()) << "the support window is not the program's own";
            return shown.front();
        }
        EXPECT_NE(pid, processOfMain()) << "the elevated program shows the support window itself";
        EXPECT_EQ(parentOf(pid).second, "explorer.exe") << "the support window's process was not started by the shell";
        EXPECT_EQ(imageOf(pid), lower(programFile())) << "the support window's process is not the program";
        for (HWND h : windowsOf(pid)) {
            wchar_t name[32] = {};
            GetClassNameW(h, name, 32);
            EXPECT_NE(std::wstring(name), window_class::kMain) << "the support copy made a main window";
            EXPECT_NE(std::wstring(name), window_class::kSplash) << "the support copy made a splash";
        }
        return shown.front();
    }
    DWORD processOfMain() { return processOf(program().mainWindow()); }
    static std::wstring lower(std::wstring text) {
        CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
        return text;
    }
    static std::wstring imageOf(DWORD pid) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        wchar_t path[1024] = {};
        DWORD size = 1024;
        if (process) {
            QueryFullProcessImageNameW(process, 0, path, &size);
            CloseHandle(process);
        }
        return lower(path);
    }
    // Closes the support window by its close box; with raised rights its process ends with it.
    bool closeSupport(HWND support) {
        const DWORD pid = processOf(support);
        HANDLE copy = pid == processOfMain() ? nullptr : OpenProcess(SYNCHRONIZE, FALSE, pid);
        closeByCloseBox(support);
        const bool gone = waitFor([] { return supportWindowsAnywhere().empty(); }, kReactWithin);
        EXPECT_TRUE(gone) << "the support window did not close";
        if (copy) {
            EXPECT_EQ(WaitForSingleObject(copy, 5000), WAIT_OBJECT_0) << "the support copy did not end with its window";
            CloseHandle(copy);
        }
        return gone;
    }

    HWND openAgreement() {
        program().clickMain(ids::main::support);
        return program().waitShown(window_class::kAgreement);
    }
    // Accepts the agreement; returns the support window it shows.
    HWND accept() {
        HWND agreement = openAgreement();
        if (!agreement) return nullptr;
        program().click(GetDlgItem(agreement, ids::agreement::accept));
        HWND support = waitSupportShown();
        program().waitGone(window_class::kAgreement);
        return support;
    }
    // Presses "Bağlan!" and waits until the page has been asked for this many times in all.
    bool connect(HWND support, int times) {
        program().click(GetDlgItem(support, ids::support::connect));
        return waitFor([&] { return proxy_.pageRequests() >= times; }, Ms{15000});
    }
    std::string seen() const { return "requests seen: " + ::testing::PrintToString(proxy_.requests()); }

    LoopbackProxy proxy_;
    const std::wstring settings_ = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    RegistryValue proxyEnable_{HKEY_CURRENT_USER, settings_, L"ProxyEnable"};
    RegistryValue proxyServer_{HKEY_CURRENT_USER, settings_, L"ProxyServer"};
};

TEST_F(OnlineSupport, OnlyAcceptingTheAgreementOpensTheSupportWindow) {
    Program& p = program();
    HWND agreement = openAgreement();
    ASSERT_NE(agreement, nullptr);
    EXPECT_TEXT(p.text(agreement), L"!!!  UYARI  !!!");
    EXPECT_TRUE(clientIs(agreement, 419, 161));
    EXPECT_TEXT(p.text(GetDlgItem(agreement, ids::agreement::text)), kWarningText);
    EXPECT_TEXT(p.text(GetDlgItem(agreement, ids::agreement::accept)), L"Okudum ve kabul ettim");
    EXPECT_TEXT(p.text(GetDlgItem(agreement, ids::agreement::decline)), L"Kabul Etmiyorum");
    // Its text can be edited, and Enter there starts a new line rather than pressing a button.
    HWND text = GetDlgItem(agreement, ids::agreement::text);
    SendMessageW(text, EM_SETSEL, 0, 0);
    PostMessageW(text, WM_KEYDOWN, VK_RETURN, 1 | (0x1C << 16));
    PostMessageW(text, WM_KEYUP, VK_RETURN, 1 | (0x1C << 16) | (1u << 30) | (1u << 31));
    EXPECT_TRUE(waitFor([&] { return p.text(text) == std::wstring(L"\r\n") + kWarningText; }, kReactWithin))
        << utf8(p.text(text).substr(0, 40));
    EXPECT_TRUE(p.expectNoMessageBoxFor(500ms));
    EXPECT_TRUE(supportWindowsAnywhere().empty()) << "Enter in the text accepted the agreement";

    // The close box closes it without a word.
    closeByCloseBox(agreement);
    EXPECT_TRUE(p.waitGone(window_class::kAgreement));
    EXPECT_TRUE(p.expectNoMessageBoxFor(1000ms));

    // Declining says so once, then closes it.
    agreement = openAgreement();
    ASSERT_NE(agreement, nullptr);
    p.click(GetDlgItem(agreement, ids::agreement::decline));
    const auto box = p.waitForBox(L"Bilgi", L"Kabul Etmediniz devam etmeyeceksiniz");
    ASSERT_TRUE(box);
    EXPECT_TRUE(IsWindow(agreement)) << "the agreement closed before its message was answered";
    p.close(*box);
    EXPECT_TRUE(p.waitGone(window_class::kAgreement));
    EXPECT_TRUE(p.expectNoMessageBoxFor(1000ms)) << "a second message after declining";
    EXPECT_TRUE(supportWindowsAnywhere().empty()) << "closing or declining opened the support window";

    // Accepting opens a blank support window that loads the page on each "Bağlan!".
    HWND support = accept();
    ASSERT_NE(support, nullptr);
    EXPECT_TEXT(p.text(support), L"Online MSN Destek");
    EXPECT_TRUE(clientIs(support, 374, 339));
    EXPECT_NE(GetDlgItem(support, ids::support::browser), nullptr) << "no browser control";
    EXPECT_TEXT(p.text(GetDlgItem(support, ids::support::connect)), L"Bağlan!");
    EXPECT_TRUE(p.expectNoMessageBoxFor(1000ms));
    EXPECT_EQ(proxy_.pageRequests(), 0) << "the page was loaded before Bağlan!; " << seen();
    ASSERT_TRUE(connect(support, 1)) << "Bağlan! did not ask for " << kSupportPage << "; " << seen();
    ASSERT_TRUE(connect(support, 2)) << "a second Bağlan! did not ask for the page again; " << seen();

    // Accepting while it is open shows the same window; closed, it comes back blank.
    EXPECT_EQ(accept(), support) << "a second support window was made";
    EXPECT_FALSE(waitFor([] { return supportWindowsAnywhere().size() > 1; }, 2000ms)) << "a second support window was made";
    ASSERT_TRUE(closeSupport(support));
    support = accept();
    ASSERT_NE(support, nullptr);
    EXPECT_FALSE(waitFor([&] { return proxy_.pageRequests() > 2; }, 1500ms)) << "a fresh window loaded a page";
    ASSERT_TRUE(connect(support, 3)) << seen();
    EXPECT_EQ(proxy_.pageRequests(), 3) << seen();
    EXPECT_TRUE(p.expectNoMessageBoxFor(500ms));
    EXPECT_TRUE(p.alive());
}

// "Çıkış" closes every window of the program: with raised rights also the support copy's, whose
// process goes with it.
TEST_F(OnlineSupport, ExitEndsTheSupportCopyToo) {
    Program& p = program();
    HWND support = accept();
    ASSERT_NE(support, nullptr);
    const DWORD pid = processOf(support);
    HANDLE copy = pid == processOfMain() ? nullptr : OpenProcess(SYNCHRONIZE, FALSE, pid);
    p.clickMain(ids::main::exit);
    EXPECT_EQ(p.waitForExit(Ms{10000}), std::optional<DWORD>(0)) << "\"Çıkış\" did not end it\n" << p.describe();
    EXPECT_TRUE(supportWindowsAnywhere().empty()) << "the support window outlived the program";
    if (copy) {
        EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0) << "the support copy outlived the program";
        CloseHandle(copy);
    }
}

}  // namespace
}  // namespace dva::e2e
