// The setup program, as an administrator's deployment tool and a user meet it: a silent install
// into Program Files, the installed program at work, a silent uninstall while it runs, and
// installing again over an earlier install. Runs in a Wine prefix of its own: it changes
// Program Files, HKLM and the task store. The setup is the one built beside this test program, or
// the one the environment variable DVA_SETUP names: the 32-bit setup, which installs into Program
// Files (x86) and writes its entry in the 32-bit registry view (WOW6432Node) of this 64-bit Windows.
#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <type_traits>

#include "control_ids.h"
#include "driver.h"

namespace dva::e2e {
namespace {

const std::wstring kSetup = [] {
    const std::wstring named = fileFromEnvironment(L"DVA_SETUP");
    return named.empty() ? binDir() + DVA_SETUP_FILE : named;
}();
const bool kSetup32Bit = [] {
    DWORD type = 0;
    return GetBinaryTypeW(kSetup.c_str(), &type) && type == SCS_32BIT_BINARY;
}();
// The registry view the setup writes its entry in, and the one it must leave alone.
const REGSAM kOwnView = kSetup32Bit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
const REGSAM kOtherView = kSetup32Bit ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr wchar_t kProduct[] = L"Dravonil Veriz Avize";
constexpr wchar_t kEntryKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Dravonil Veriz Avize";
constexpr wchar_t kUninstallRoot[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kTaskXml[] = L"oturum-acilisi-gorevi.xml";
const std::wstring kAutoRun = L"C:\\AutoRun.inf";

std::wstring knownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) result = path;
    CoTaskMemFree(path);
    return result;
}

const std::wstring kDefaultFolder =
    knownFolder(kSetup32Bit ? FOLDERID_ProgramFilesX86 : FOLDERID_ProgramFilesX64) + L"\\Dravonil Veriz Avize";
const std::wstring kShortcut = knownFolder(FOLDERID_CommonPrograms) + L"\\Dravonil Veriz Avize.lnk";

std::wstring systemFolder() {
    wchar_t path[MAX_PATH] = {};
    GetSystemDirectoryW(path, MAX_PATH);
    return path;
}
// Where the task scheduler keeps a task registered under its name, on Windows as under Wine.
const std::wstring kTaskFile = systemFolder() + L"\\Tasks\\Dravonil Veriz Avize";

std::wstring setupLog() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"Dravonil-Veriz-Avize-setup.log";
}

// A UTF-16 text file with its byte-order mark, as the setup writes its log and task definition.
std::wstring readUtf16(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') return L"(not UTF-16 with a byte-order mark)";
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    std::memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    return text;
}

// The text of the first <name> element of the XML (its attributes aside), or "(none)".
std::wstring element(const std::wstring& xml, const std::wstring& name) {
    size_t open = xml.find(L"<" + name);
    while (open != std::wstring::npos && xml[open + name.size() + 1] != L'>' && xml[open + name.size() + 1] != L' ')
        open = xml.find(L"<" + name, open + 1);
    const auto from = open == std::wstring::npos ? open : xml.find(L'>', open);
    const auto close = xml.find(L"</" + name + L">");
    if (from == std::wstring::npos || close == std::wstring::npos || close < from) return L"(none)";
    return xml.substr(from + 1, close - from - 1);
}

// A value of the entry in the registry view of the program's own build (or in the other one).
template <typename T>
std::optional<T> entry(const wchar_t* value, DWORD type, REGSAM view = kOwnView) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEntryKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return std::nullopt;
    T data{};
    wchar_t text[2048] = {};
    DWORD size = type == RRF_RT_REG_SZ ? sizeof text : sizeof(DWORD);
    void* into = type == RRF_RT_REG_SZ ? static_cast<void*>(text) : static_cast<void*>(&data);
    const bool read = RegGetValueW(key, nullptr, value, type, nullptr, into, &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!read) return std::nullopt;
    if constexpr (std::is_same_v<T, std::wstring>) data = text;
    return data;
}
std::optional<std::wstring> entryValue(const wchar_t* value) { return entry<std::wstring>(value, RRF_RT_REG_SZ); }
std::optional<DWORD> entryNumber(const wchar_t* value) { return entry<DWORD>(value, RRF_RT_REG_DWORD); }

// Entries named like the program in either registry view, as "Programs and Features" lists them.
int entriesNamedLikeTheProgram() {
    int count = 0;
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        HKEY root = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallRoot, 0, KEY_READ | view, &root) != ERROR_SUCCESS) continue;
        wchar_t name[256];
        for (DWORD i = 0, length = 256; RegEnumKeyExW(root, i, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                                        ERROR_SUCCESS;
             ++i, length = 256) {
            wchar_t display[256] = {};
            DWORD size = sizeof display;
            if (RegGetValueW(root, name, L"DisplayName", RRF_RT_REG_SZ, nullptr, display, &size) == ERROR_SUCCESS &&
                std::wstring_view(display) == kProduct)
                ++count;
        }
        RegCloseKey(root);
    }
    return count;
}

int tasksNamedLikeTheProgram() {
    int count = 0;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((systemFolder() + L"\\Tasks\\*Dravonil*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) ++count;
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return count;
}

// Where the shortcut leads, read through the shell as Explorer reads it.
std::wstring shortcutTarget(const std::wstring& link) {
    wchar_t target[MAX_PATH] = {};
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* shellLink = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&shellLink)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(shellLink->QueryInterface(IID_PPV_ARGS(&file)))) {
            if (SUCCEEDED(file->Load(link.c_str(), STGM_READ))) shellLink->GetPath(target, MAX_PATH, nullptr, 0);
            file->Release();
        }
        shellLink->Release();
    }
    CoUninitialize();
    return target;
}

// Runs a command line and waits for it: its exit code, or nullopt if it did not start or end.
std::optional<DWORD> run(std::wstring commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "could not start " << utf8(commandLine) << " (error " << GetLastError() << ")";
        return std::nullopt;
    }
    CloseHandle(pi.hThread);
    DWORD code = 0;
    const bool ended = WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    if (!ended) {
        ADD_FAILURE() << utf8(commandLine) << " did not end within 2 minutes";
        return std::nullopt;
    }
    return code;
}

std::optional<DWORD> install(const std::wstring& options = L"/S") { return run(L"\"" + kSetup + L"\" " + options); }

// The setup with its window: clicks its default button (id 1) whenever it is enabled, page after
// page, until the setup ends.
std::optional<DWORD> installClickingThrough() {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = L"\"" + kSetup + L"\"";
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "could not start the setup (error " << GetLastError() << ")";
        return std::nullopt;
    }
    CloseHandle(pi.hThread);
    const auto ended = [&] { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; };
    for (int page = 0; page < 20 && !waitFor(ended, Ms{700}); ++page) {
        HWND wizard = nullptr;
        for (HWND h : windowsOf(pi.dwProcessId))
            if (!wizard && IsWindowVisible(h)) wizard = h;
        HWND next = wizard ? GetDlgItem(wizard, 1) : nullptr;
        if (next && IsWindowEnabled(next)) PostMessageW(next, BM_CLICK, 0, 0);
    }
    DWORD code = STILL_ACTIVE;
    if (!waitFor(ended, Ms{5000})) {
        ADD_FAILURE() << "the setup did not end";
        TerminateProcess(pi.hProcess, 1);
    }
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    return code;
}

bool installedIn(const std::wstring& folder) {
    return exists(folder + L"\\Dravonil Veriz Avize.exe") && exists(folder + L"\\uninstall.exe");
}

// Nothing of the program left: files, shortcut, entry and task.
bool goneFrom(const std::wstring& folder) {
    return !exists(folder) && !exists(kShortcut) && !entryValue(L"DisplayName") && !exists(kTaskFile);
}

std::string leftOver(const std::wstring& folder) {
    std::string out;
    if (exists(folder)) out += " the folder " + utf8(folder) + ";";
    if (exists(kShortcut)) out += " the shortcut;";
    if (entryValue(L"DisplayName")) out += " the uninstall entry;";
    if (exists(kTaskFile)) out += " the task;";
    return out.empty() ? " nothing" : out;
}

std::string logText() { return utf8(readUtf16(setupLog())); }

// The uninstaller hands its work to a copy of itself in the temporary folder and returns at once.
::testing::AssertionResult uninstallSilently(const std::wstring& folder) {
    const auto quiet = entryValue(L"QuietUninstallString");
    if (!quiet) return ::testing::AssertionFailure() << "no QuietUninstallString";
    const auto code = run(*quiet);
    if (code != 0u) return ::testing::AssertionFailure() << utf8(*quiet) << " exited with " << code.value_or(-1);
    if (!waitFor([&] { return goneFrom(folder); }, Ms{30000}))
        return ::testing::AssertionFailure() << "still there after the uninstall:" << leftOver(folder) << "\nlog:\n"
                                             << logText();
    return ::testing::AssertionSuccess();
}

class Setup : public ::testing::Test {
protected:
    void SetUp() override {
        removePath(kAutoRun);
        removePath(L"C:\\System32.exe");
    }
    void TearDown() override {
        if (HasFailure()) std::cout << "setup log " << utf8(setupLog()) << ":\n" << logText() << std::endl;
    }
};

TEST_F(Setup, SilentInstallAddsTheProgramShortcutEntryAndSignInTask) {
    ASSERT_EQ(install(), 0u);
    const std::wstring exe = kDefaultFolder + L"\\Dravonil Veriz Avize.exe";
    const std::wstring uninstaller = kDefaultFolder + L"\\uninstall.exe";
    EXPECT_TRUE(installedIn(kDefaultFolder)) << utf8(kDefaultFolder);
    EXPECT_TRUE(exists(kShortcut)) << utf8(kShortcut);
    EXPECT_TEXT(shortcutTarget(kShortcut), exe);

    // The entry of "Programs and Features", in the view of the program's build only.
    EXPECT_TEXT(entryValue(L"DisplayName").value_or(L"(none)"), kProduct);
    EXPECT_TEXT(entryValue(L"DisplayVersion").value_or(L"(none)"), DVA_VERSION);
    EXPECT_TEXT(entryValue(L"Publisher").value_or(L"(none)"), DVA_PUBLISHER);
    EXPECT_TEXT(entryValue(L"DisplayIcon").value_or(L"(none)"), exe + L",0");
    EXPECT_TEXT(entryValue(L"UninstallString").value_or(L"(none)"), L"\"" + uninstaller + L"\"");
    EXPECT_TEXT(entryValue(L"QuietUninstallString").value_or(L"(none)"), L"\"" + uninstaller + L"\" /S");
    EXPECT_FALSE((entry<std::wstring>(L"DisplayName", RRF_RT_REG_SZ, kOtherView)))
        << "an entry in the " << (kSetup32Bit ? "64" : "32") << "-bit registry view too";
    WIN32_FILE_ATTRIBUTE_DATA program{};
    GetFileAttributesExW(exe.c_str(), GetFileExInfoStandard, &program);
    const auto size = entryNumber(L"EstimatedSize");
    EXPECT_TRUE(size && *size >= program.nFileSizeLow / 1024 && *size < 4 * 1024)
        << "EstimatedSize " << size.value_or(0) << " KB for a program of " << program.nFileSizeLow << " bytes";

    // The task: registered under its name. Wine's store drops the trigger, the principal and the
    // action from its copy, so they are read from the definition the setup handed to schtasks.
    EXPECT_TRUE(exists(kTaskFile)) << "no task " << utf8(kTaskFile);
    const std::wstring xml = readUtf16(kDefaultFolder + L"\\" + kTaskXml);
    const std::wstring trigger = element(xml, L"LogonTrigger");
    EXPECT_TEXT(element(trigger, L"Enabled"), L"true");
    EXPECT_TEXT(element(trigger, L"UserId"), L"(none)");  // any user signing in
    const std::wstring principal = element(xml, L"Principals");
    EXPECT_TEXT(element(principal, L"GroupId"), L"S-1-5-32-545");
    EXPECT_TEXT(element(principal, L"RunLevel"), L"HighestAvailable");
    EXPECT_TEXT(element(principal, L"UserId"), L"(none)");
    const std::wstring settings = element(xml, L"Settings");
    EXPECT_TEXT(element(settings, L"ExecutionTimeLimit"), L"PT0S");
    EXPECT_TEXT(element(settings, L"DisallowStartIfOnBatteries"), L"false");
    EXPECT_TEXT(element(settings, L"StopIfGoingOnBatteries"), L"false");
    EXPECT_TEXT(element(settings, L"MultipleInstancesPolicy"), L"IgnoreNew");
    const std::wstring actions = element(xml, L"Actions");
    EXPECT_TEXT(element(actions, L"Command"), L"\"" + exe + L"\"");
    EXPECT_TEXT(element(actions, L"Arguments"), L"(none)");  // the program reads no command line
    EXPECT_NE(logText().find("Kurulum tamamlandı."), std::string::npos) << "no success line in the log";

    // A failure gives a non-zero exit code and its reason in the log, and keeps what was there:
    // here a program file that another process holds open and that cannot be replaced.
    {
        const auto held = holdOpen(exe);
        ASSERT_TRUE(held);
        EXPECT_EQ(install(), 2u);
    }
    EXPECT_NE(logText().find("HATA: Program dosyası değiştirilemedi (hâlâ çalışıyor olabilir): " + utf8(exe)),
              std::string::npos)
        << "the failure is not in the log";
    EXPECT_TRUE(installedIn(kDefaultFolder) && entryValue(L"DisplayName")) << "the failed install removed the old one";
}

TEST_F(Setup, InstalledProgramProtectsAndSilentUninstallEndsItThroughItsExitCommand) {
    ASSERT_EQ(install(), 0u);
    const std::wstring exe = kDefaultFolder + L"\\Dravonil Veriz Avize.exe";
    {
        Program p(StartOn::Splash, exe);
        ASSERT_NE(p.splash(), nullptr);
        postLeftClick(p.splash(), 10, 10);
        ASSERT_TRUE(waitFor([&] { return p.mainVisible(); }, kReactWithin)) << p.describe();
        ASSERT_TRUE(p.waitForTrayIcons(1));
        placeFile(L"C:\\System32.exe");
        EXPECT_TRUE(p.expectAlert());
        EXPECT_TRUE(p.waitForLines({L"C:\\System32.exe"}));
        EXPECT_FALSE(exists(L"C:\\System32.exe"));

        // The user's AutoRun protection: a folder the uninstall must leave.
        p.clickMain(ids::main::protection);
        ASSERT_TRUE(p.expectBox(L"Bilgilendirme", L"Anlık koruma pasifleştirilmiştir!", kReactWithin));
        placeFile(kAutoRun);
        p.clickMain(ids::main::autorun);
        ASSERT_TRUE(p.expectBox(L"Virüs Bulundu!", L"AutoRun Korumasını etkileyecek bir virüs tespit edildi!",
                                kReactWithin));
        ASSERT_TRUE(p.expectBox(L"Bilgilendirme", L"Virüs Temizlenerek koruma oluşturuldu!", kReactWithin));
        ASSERT_TRUE(attributes(kAutoRun) & FILE_ATTRIBUTE_DIRECTORY);

        // Hidden behind its icon, as it mostly is when an administrator removes it.
        PostMessageW(p.mainWindow(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(waitFor([&] { return !p.mainVisible(); }, kReactWithin));

        EXPECT_TRUE(uninstallSilently(kDefaultFolder));
        // Exit code 0 and no icon left: it ended through "Çıkış", which removes the icon, and was
        // not ended by force (that would leave exit code 1).
        EXPECT_EQ(p.waitForExit(Ms{1000}), 0u) << p.describe();
        EXPECT_TRUE(p.waitForTrayIcons(0));
        EXPECT_NE(logText().find("kendi çıkış komutuyla kapandı"), std::string::npos);
    }
    EXPECT_TRUE(attributes(kAutoRun) & FILE_ATTRIBUTE_DIRECTORY) << "the uninstall removed C:\\AutoRun.inf";
    removePath(kAutoRun);
}

TEST_F(Setup, InteractiveInstallStartsTheProgramAndInstallingAgainKeepsOneEntryAndOneTask) {
    // A folder name with a character that XML text must escape, and Turkish letters.
    const std::wstring elsewhere = L"C:\\Ar&Ge Araçları\\Dravonil";
    // Through every page with the wizard's default button ("İleri", "Kur", "Bitir"), leaving every
    // choice as it is offered: start at sign-in is ticked, and so is starting the program at the end.
    ASSERT_EQ(installClickingThrough(), 0u);
    EXPECT_TRUE(installedIn(kDefaultFolder));
    EXPECT_TRUE(exists(kTaskFile)) << "start at sign-in was not ticked";
    HWND splash = nullptr;
    EXPECT_TRUE(waitFor([&] { return (splash = FindWindowW(window_class::kSplash, nullptr)) != nullptr; }, Ms{10000}))
        << "the program did not start at the end of the setup";
    DWORD pid = 0;
    GetWindowThreadProcessId(splash, &pid);
    const HANDLE started = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);

    // Over the same version in the same folder, while that copy runs: it is ended and replaced.
    EXPECT_EQ(install(), 0u);
    if (started) {
        DWORD code = STILL_ACTIVE;
        EXPECT_EQ(WaitForSingleObject(started, 1000), WAIT_OBJECT_0) << "the running copy was not ended";
        GetExitCodeProcess(started, &code);
        EXPECT_EQ(code, 0u) << "the running copy was ended by force";
        CloseHandle(started);
    }
    EXPECT_TRUE(installedIn(kDefaultFolder));
    EXPECT_EQ(entriesNamedLikeTheProgram(), 1);
    EXPECT_EQ(tasksNamedLikeTheProgram(), 1);

    // Into another folder: the earlier install goes, one entry and one task remain.
    EXPECT_EQ(install(L"/S /D=" + elsewhere), 0u);
    EXPECT_TRUE(installedIn(elsewhere));
    EXPECT_FALSE(exists(kDefaultFolder)) << "the earlier install was left in " << utf8(kDefaultFolder);
    EXPECT_TEXT(entryValue(L"InstallLocation").value_or(L"(none)"), elsewhere);
    EXPECT_TEXT(element(readUtf16(elsewhere + L"\\" + kTaskXml), L"Command"),
                L"\"C:\\Ar&amp;Ge Araçları\\Dravonil\\Dravonil Veriz Avize.exe\"");
    EXPECT_EQ(entriesNamedLikeTheProgram(), 1);
    EXPECT_EQ(tasksNamedLikeTheProgram(), 1);

    // Without start at sign-in, an upgrade removes the task.
    EXPECT_EQ(install(L"/S /NOAUTOSTART"), 0u);
    EXPECT_TRUE(installedIn(elsewhere));
    EXPECT_EQ(tasksNamedLikeTheProgram(), 0);

    EXPECT_TRUE(uninstallSilently(elsewhere));
    EXPECT_EQ(entriesNamedLikeTheProgram(), 0);
}

}  // namespace
}  // namespace dva::e2e
