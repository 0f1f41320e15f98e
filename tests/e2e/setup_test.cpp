// The setup program, as an administrator's deployment tool and a user meet it: a silent install
// into Program Files, the installed program at work, a silent uninstall while it runs, and
// installing again over an earlier install; what a standard user could turn against it: the
// install folder's permissions, the log, the setup's mutex, look-alike copies, unusable folders.
// Runs in a Wine prefix of its own: it changes Program Files, HKLM and the task store. The setup
// is the one built beside this test program, or the one the environment variable DVA_SETUP names:
// the 32-bit setup, which installs into Program Files (x86) and writes its entry in the 32-bit
// registry view (WOW6432Node) of this 64-bit Windows.
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <type_traits>

#include "control_ids.h"
#include "driver.h"
#include "window_classes.h"

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


const std::wstring kDefaultFolder =
    knownFolder(kSetup32Bit ? FOLDERID_ProgramFilesX86 : FOLDERID_ProgramFilesX64) + L"\\Dravonil Veriz Avize";
// The setup's own folder under ProgramData and its logs, where only administrators can write.
const std::wstring kDataFolder = knownFolder(FOLDERID_ProgramData) + L"\\Dravonil Veriz Avize";
const std::wstring kLogFolder = kDataFolder + L"\\logs";
constexpr wchar_t kEventSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Dravonil Veriz Avize";
const std::wstring kShortcut = knownFolder(FOLDERID_CommonPrograms) + L"\\Dravonil Veriz Avize.lnk";

std::wstring systemFolder() {
    wchar_t path[MAX_PATH] = {};
    GetSystemDirectoryW(path, MAX_PATH);
    return path;
}
// Where the task scheduler keeps a task registered under its name, on Windows as under Wine.
const std::wstring kTaskFile = systemFolder() + L"\\Tasks\\Dravonil Veriz Avize";

// Every run of the setup or the uninstaller logs to a file of its own, named from its start time:
// the logs, oldest first.
std::vector<std::wstring> logFiles() {
    // In the order they were first seen: a count taken before some runs then marks where their
    // logs begin. (Names alone do not order them: two setups started in the same second differ
    // only in their process ids.)
    static std::vector<std::wstring> seen;
    std::vector<std::wstring> now;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((kLogFolder + L"\\*.log").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
        now.push_back(kLogFolder + L"\\" + found.cFileName);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    std::sort(now.begin(), now.end());
    std::erase_if(seen, [&](const std::wstring& f) { return !std::binary_search(now.begin(), now.end(), f); });
    for (const std::wstring& f : now)
        if (std::find(seen.begin(), seen.end(), f) == seen.end()) seen.push_back(f);
    return seen;
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

std::optional<DWORD> install(const std::wstring& options = L"/S") { return runToEnd(L"\"" + kSetup + L"\" " + options); }

// The setup with its window: clicks its default button (id 1: "İleri", "Kur", "Bitir", a box's
// OK) whenever it is enabled, else its "Kapat" (id 2) once a failed install leaves only that, page
// after page, until the setup ends. `onceShown` runs when its
// first page is up, before the first click.
std::optional<DWORD> installClickingThrough(const std::wstring& options = L"", const std::function<void()>& onceShown = {}) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = L"\"" + kSetup + L"\" " + options;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "could not start the setup (error " << GetLastError() << ")";
        return std::nullopt;
    }
    CloseHandle(pi.hThread);
    const auto ended = [&] { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; };
    bool shown = false;
    for (int page = 0; page < 40 && !waitFor(ended, Ms{350}); ++page) {
        for (HWND h : windowsOf(pi.dwProcessId)) {
            if (!IsWindowVisible(h)) continue;
            if (!shown && onceShown) onceShown();
            shown = true;
            HWND next = GetDlgItem(h, 1), close = GetDlgItem(h, 2);
            if (next && IsWindowEnabled(next))
                PostMessageW(next, BM_CLICK, 0, 0);
            else if (next && close && IsWindowEnabled(close))
                PostMessageW(close, BM_CLICK, 0, 0);
        }
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

bool eventSourceRegistered() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Nothing of the program left: files, shortcut, entry, task and event source.
bool goneFrom(const std::wstring& folder) {
    return !exists(folder) && !exists(kShortcut) && !entryValue(L"DisplayName") && !exists(kTaskFile) &&
           !eventSourceRegistered();
}

std::string leftOver(const std::wstring& folder) {
    std::string out;
    if (exists(folder)) out += " the folder " + utf8(folder) + ";";
    if (exists(kShortcut)) out += " the shortcut;";
    if (entryValue(L"DisplayName")) out += " the uninstall entry;";
    if (exists(kTaskFile)) out += " the task;";
    if (eventSourceRegistered()) out += " the event source;";
    return out.empty() ? " nothing" : out;
}

// The text of the logs, from the one at `from` on (a count of logFiles() taken before some runs).
std::string logText(size_t from = 0) {
    std::string text;
    const auto files = logFiles();
    for (size_t i = from; i < files.size(); ++i) text += utf8(readUtf16(files[i]));
    return text;
}
bool logHas(const std::string& line, size_t from = 0) { return logText(from).find(line) != std::string::npos; }

// The uninstaller hands its work to a copy of itself in the temporary folder and returns at once.
::testing::AssertionResult uninstallSilently(const std::wstring& folder) {
    const auto quiet = entryValue(L"QuietUninstallString");
    if (!quiet) return ::testing::AssertionFailure() << "no QuietUninstallString";
    const auto code = runToEnd(*quiet);
    if (code != 0u) return ::testing::AssertionFailure() << utf8(*quiet) << " exited with " << code.value_or(-1);
    if (!waitFor([&] { return goneFrom(folder); }, Ms{30000}))
        return ::testing::AssertionFailure() << "still there after the uninstall:" << leftOver(folder) << "\nlog:\n"
                                             << logText(logFiles().size() > 3 ? logFiles().size() - 3 : 0);
    return ::testing::AssertionSuccess();
}

class Setup : public ::testing::Test {
protected:
    void SetUp() override {
        DVA_SKIP_IF_CANNOT_RUN(kSetup);
        removePath(kAutoRun);
        removePath(L"C:\\System32.exe");
    }
    void TearDown() override {
        const size_t logs = logFiles().size();
        if (HasFailure()) std::cout << "the last setup logs:\n" << logText(logs > 4 ? logs - 4 : 0) << std::endl;
    }
};

// An environment variable of this process (and so of the programs it starts), set while the
// object lives.
class EnvironmentVariable {
public:
    EnvironmentVariable(std::wstring name, const std::wstring& value) : name_(std::move(name)) {
        wchar_t old[MAX_PATH] = {};
        had_ = GetEnvironmentVariableW(name_.c_str(), old, MAX_PATH) != 0;
        old_ = old;
        SetEnvironmentVariableW(name_.c_str(), value.c_str());
    }
    ~EnvironmentVariable() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

private:
    std::wstring name_, old_;
    bool had_ = false;
};

// The folders in `folder` (not their contents), by name.
std::vector<std::wstring> foldersIn(const std::wstring& folder) {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &entry))
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && entry.cFileName[0] != L'.')
            found.push_back(entry.cFileName);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return found;
}

// The folder the log names after "Eklenti klasörü: " (the setup's plug-ins), from the log at `from` on.
std::string pluginsFolderLogged(size_t from) {
    const std::string log = logText(from), label = "Eklenti klasörü: ";
    const auto at = log.find(label);
    return at == std::string::npos ? "(not logged)" : log.substr(at + label.size(), log.find('\r', at) - at - label.size());
}


// Runs a Unix program (Wine starts ELF files too). Neither its exit code nor its end come through
// Wine reliably: callers wait for its result instead.
void runUnix(std::wstring line) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << utf8(line) << ": not started (error " << GetLastError() << ")";
        return;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

// Whether the folder's permissions let everyone delete it.
bool everyoneMayChange(const std::wstring& folder) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &sd))
        return false;
    bool may = false;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            (ace->Mask & DELETE) && IsWellKnownSid(&ace->SidStart, WinWorldSid))
            may = true;
    }
    LocalFree(sd);
    return may;
}

// How many names (hard links) the file has.
DWORD linksOf(const std::wstring& file) {
    const HANDLE h = CreateFileW(file.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool read = h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return read ? info.nNumberOfLinks : 0;
}

// Gives `file` a second name, `link`, on drive C's Unix side.
bool hardLink(const std::wstring& file, const std::wstring& link) {
    const std::string from = unixPath(file), to = unixPath(link);
    runUnix(L"Z:\\bin\\ln \"" + std::wstring(from.begin(), from.end()) + L"\" \"" + std::wstring(to.begin(), to.end()) + L"\"");
    return waitFor([&] { return linksOf(file) == 2; }, kReactWithin);
}

TEST_F(Setup, SilentInstallAddsTheProgramShortcutEntryAndSignInTask) {
    // The setup's plug-ins are unpacked where only administrators can make anything, never in the
    // temporary folder it was given (SYSTEM's, C:\Windows\Temp, is every user's): nothing is made
    // there while it runs. (Its parent, Program Files, is where the program goes by default.)
    const std::wstring temp = L"C:\\Geçici Klasör";
    removePath(temp);
    CreateDirectoryW(temp.c_str(), nullptr);
    std::vector<std::wstring> madeInTemp;
    const size_t logsBefore = logFiles().size();
    {
        const EnvironmentVariable tempVariable(L"TEMP", temp), tmpVariable(L"TMP", temp);
        ASSERT_EQ(runToEnd(L"\"" + kSetup + L"\" /S",
                      [&] {
                          for (const std::wstring& f : foldersIn(temp))
                              if (std::find(madeInTemp.begin(), madeInTemp.end(), f) == madeInTemp.end())
                                  madeInTemp.push_back(f);
                      }),
                  0u);
    }
    removePath(temp);
    EXPECT_TRUE(madeInTemp.empty()) << "the setup made " << utf8(madeInTemp.front()) << " in its temporary folder";
    const std::string programFiles = utf8(kDefaultFolder.substr(0, kDefaultFolder.rfind(L'\\') + 1));
    const std::string plugins = pluginsFolderLogged(logsBefore);
    EXPECT_EQ(plugins.rfind(programFiles + "ns", 0), 0u) << plugins;
    EXPECT_FALSE(exists(std::filesystem::path(std::u8string(plugins.begin(), plugins.end())).wstring()))
        << "left behind: " << plugins;
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

    // The task: registered under its name. Wine's store drops the trigger, the principal, the
    // action and the security descriptor from its copy, so they are read from the definition the
    // setup handed to schtasks.
    EXPECT_TRUE(exists(kTaskFile)) << "no task " << utf8(kTaskFile);
    const std::wstring xml = readUtf16(kDefaultFolder + L"\\" + kTaskXml);
    // Only Administrators and SYSTEM may change it or start it on demand; Users may read it.
    EXPECT_TEXT(element(element(xml, L"RegistrationInfo"), L"SecurityDescriptor"),
                L"D:(A;;FA;;;BA)(A;;FA;;;SY)(A;;FR;;;BU)");
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
    EXPECT_TEXT(element(actions, L"Arguments"), L"/signin");  // no splash: protection at once, behind the icon
    EXPECT_NE(logText().find("Kurulum tamamlandı."), std::string::npos) << "no success line in the log";

    // The program's event source, its texts in the installed .exe.
    HKEY source = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_READ | KEY_WOW64_64KEY, &source), 0)
        << "no event source";
    wchar_t messageFile[MAX_PATH] = {};
    DWORD bytes = sizeof messageFile, type = 0, types = 0;
    EXPECT_EQ(RegQueryValueExW(source, L"EventMessageFile", nullptr, &type, reinterpret_cast<BYTE*>(messageFile),
                               &bytes),
              0);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_TEXT(messageFile, exe);
    bytes = sizeof types;
    EXPECT_EQ(RegQueryValueExW(source, L"TypesSupported", nullptr, &type, reinterpret_cast<BYTE*>(&types), &bytes), 0);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(types, 7u);
    RegCloseKey(source);

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

// A task definition as an earlier version registered it: the plain start, which opens on the splash.
void registerEarlierTask(const std::wstring& exe) {
    const std::wstring file = systemFolder().substr(0, 3) + L"dva-earlier-task.xml";
    const std::wstring xml =
        L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
        L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
        L"  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>\r\n"
        L"  <Actions Context=\"Author\"><Exec><Command>\"" + exe + L"\"</Command></Exec></Actions>\r\n"
        L"</Task>\r\n";
    {
        std::ofstream out(std::filesystem::path(file), std::ios::binary);
        out.write("\xFF\xFE", 2);
        out.write(reinterpret_cast<const char*>(xml.data()), static_cast<std::streamsize>(xml.size() * 2));
    }
    EXPECT_EQ(runToEnd(L"\"" + systemFolder() + L"\\schtasks.exe\" /Create /TN \"Dravonil Veriz Avize\" /XML \"" + file +
                  L"\" /F"),
              0u);
    removePath(file);
    ASSERT_TRUE(exists(kTaskFile)) << "the earlier task could not be registered";
}

// The task scheduler's copy of the task: UTF-16 on Windows, UTF-8 under Wine, with a byte-order mark.
std::wstring storedTask() {
    std::ifstream in(std::filesystem::path(kTaskFile), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.rfind("\xEF\xBB\xBF", 0) != 0) return readUtf16(kTaskFile);
    std::wstring text(bytes.size(), L'\0');
    text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data() + 3, static_cast<int>(bytes.size() - 3), text.data(),
                                    static_cast<int>(text.size())));
    return text;
}

// What the task scheduler starts: the Command and the Arguments of the task's action, from its
// copy of the task when that holds them; Wine's keeps an empty action, and then they are read
// from the definition the setup handed to it.
std::wstring definitionWithTheAction(const std::wstring& folder) {
    std::wstring stored = storedTask();
    if (element(stored, L"Command") != L"(none)") return stored;
    std::cout << "note: the task scheduler's copy of the task has no command; reading the setup's definition"
              << std::endl;
    return readUtf16(folder + L"\\" + kTaskXml);
}

TEST_F(Setup, SignInTaskStartsTheProgramHiddenBehindItsIconAndProtecting) {
    // An upgrade over an earlier install whose task started the program plainly rewrites the task.
    const std::wstring exe = kDefaultFolder + L"\\Dravonil Veriz Avize.exe";
    ASSERT_NO_FATAL_FAILURE(registerEarlierTask(exe));
    ASSERT_EQ(element(storedTask(), L"Description"), L"(none)") << "the earlier task is not the one registered";
    ASSERT_EQ(install(), 0u);
    EXPECT_EQ(tasksNamedLikeTheProgram(), 1);
    // The scheduler's copy is now the setup's definition (the earlier one had no description).
    EXPECT_TEXT(element(storedTask(), L"Description"), L"Dravonil Veriz Avize korumasını oturum açılınca başlatır.");

    const std::wstring actions = element(definitionWithTheAction(kDefaultFolder), L"Actions");
    const std::wstring command = element(actions, L"Command"), arguments = element(actions, L"Arguments");
    EXPECT_TEXT(arguments, L"/signin");
    ASSERT_TRUE(command.size() > 2 && command.front() == L'"' && command.back() == L'"') << utf8(command);
    // Exactly that command line: the quoted program, a blank, the arguments.
    Program p(StartOn::SignIn, command.substr(1, command.size() - 2), arguments);
    ASSERT_FALSE(HasFailure()) << "the sign-in start showed a window or did not load\n" << p.describe();
    ASSERT_TRUE(p.waitForTrayIcons(1));
    EXPECT_FALSE(p.mainVisible());
    EXPECT_EQ(p.splash(), nullptr);

    // Protecting with nobody at the screen: the threat is alerted, and deleted once answered.
    placeFile(L"C:\\System32.exe");
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\System32.exe"); }, kReactWithin)) << p.describe();
    EXPECT_FALSE(p.mainVisible()) << "the alert showed the main window";
    EXPECT_EQ(p.splash(), nullptr);
    EXPECT_EQ(p.trayIcons().size(), 1u);

    // The icon leads to the window.
    postMouse(p.trayIcons().at(0).window, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP});
    EXPECT_TRUE(waitFor([&] { return p.mainVisible(); }, kReactWithin)) << "a double-click did not show the window\n"
                                                                        << p.describe();

    EXPECT_TRUE(uninstallSilently(kDefaultFolder));
    EXPECT_EQ(p.waitForExit(Ms{5000}), 0u) << p.describe();
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

    // Over the same version in the same folder, while that copy runs: it is ended and replaced, and
    // every file is written anew, not into the one that was there (which keeps its owner, its
    // permissions and any other name someone gave it).
    const std::wstring uninstaller = kDefaultFolder + L"\\uninstall.exe", definition = kDefaultFolder + L"\\" + kTaskXml;
    EXPECT_TRUE(hardLink(uninstaller, L"C:\\kaldırıcının-öbür-adı.exe"));
    EXPECT_TRUE(hardLink(definition, L"C:\\görevin-öbür-adı.xml"));
    EXPECT_EQ(install(), 0u);
    EXPECT_EQ(linksOf(uninstaller), 1u) << "written into the file that was there";
    EXPECT_EQ(linksOf(definition), 1u) << "written into the file that was there";
    removePath(L"C:\\kaldırıcının-öbür-adı.exe");
    removePath(L"C:\\görevin-öbür-adı.xml");
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

// The system's icacls.exe is replaced by the recorder while the object lives: each call is recorded
// in C:\\icacls-calls.txt and succeeds. (Wine's own icacls sets nothing: it only says so.)
class IcaclsRecorder {
public:
    IcaclsRecorder() {
        putBack();  // left by an earlier run cut short
        removePath(callsFile(L"icacls"));
        EXPECT_TRUE(MoveFileW(icaclsFile().c_str(), aside().c_str())) << "error " << GetLastError();
        EXPECT_TRUE(CopyFileW(kRecorder.c_str(), icaclsFile().c_str(), FALSE)) << "error " << GetLastError();
        overrideBuiltin_.set(L"native");  // Wine runs its own icacls otherwise, whatever the file holds
    }
    ~IcaclsRecorder() { putBack(); }
    IcaclsRecorder(const IcaclsRecorder&) = delete;
    IcaclsRecorder& operator=(const IcaclsRecorder&) = delete;

    // The calls so far, without the name of the process that made them.
    Calls calls() const {
        Calls out;
        for (const std::string& line : recorderCalls(L"icacls")) out.push_back(line.substr(line.find('\t') + 1));
        return out;
    }
    // icacls as the setup names it: by its system folder's path.
    static std::wstring icacls() { return systemFolder() + L"\\icacls.exe"; }
    // The file that runs then: for the 32-bit setup that path leads to SysWOW64, as on 64-bit Windows.
    static std::wstring icaclsFile() {
        if (!kSetup32Bit) return icacls();
        wchar_t folder[MAX_PATH] = {};
        GetSystemWow64DirectoryW(folder, MAX_PATH);
        return std::wstring(folder) + L"\\icacls.exe";
    }
    // The call that locks the folder, as the recorder writes it down (one argument a field) and as
    // the setup logs it.
    static std::string call(const std::wstring& folder) {
        return utf8(icacls()) + "\t" + utf8(folder) +
               "\t/inheritance:r\t/grant:r\t*S-1-5-32-544:(OI)(CI)F\t*S-1-5-18:(OI)(CI)F\t*S-1-5-32-545:(OI)(CI)RX";
    }
    static std::string logLine(const std::wstring& folder) {
        return "Komut: \"" + utf8(icacls()) + "\" \"" + utf8(folder) +
               "\" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX "
               "(çıkış kodu 0)";
    }

private:
    static std::wstring aside() { return icaclsFile() + L".dva-e2e"; }
    static void putBack() {
        if (!exists(aside())) return;
        DeleteFileW(icaclsFile().c_str());
        EXPECT_TRUE(MoveFileW(aside().c_str(), icaclsFile().c_str())) << "could not put icacls.exe back";
    }
    RegistryValue overrideBuiltin_{HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", L"icacls.exe"};
};

TEST_F(Setup, TheFolderIsLockedBeforeAnythingIsWrittenAndTheTaskRegisteredFromThereALogFolderThatIsThereIsNot) {
    const std::wstring apps = L"C:\\Uygulamalar";
    const std::wstring folder = apps + L"\\Dravonil Veriz Avize";
    removePath(apps);
    IcaclsRecorder recorder;
    const bool dataFolderThere = exists(kDataFolder);
    const size_t logs = logFiles().size();
    ASSERT_EQ(install(L"/S /D=" + folder), 0u);
    EXPECT_TRUE(installedIn(folder));

    // The log's folder (made locked if it was missing), then the highest new folder of the path and
    // the install folder itself: nothing else.
    Calls expected;
    if (!dataFolderThere) expected.push_back(IcaclsRecorder::call(kDataFolder));
    expected.push_back(IcaclsRecorder::call(kLogFolder));
    expected.push_back(IcaclsRecorder::call(apps));
    expected.push_back(IcaclsRecorder::call(folder));
    EXPECT_EQ(recorder.calls(), expected);
    // Each logged with its exit code, the install folder's before the program is written.
    const std::string log = logText(logs);
    const auto locked = log.find(IcaclsRecorder::logLine(folder));
    EXPECT_NE(log.find(IcaclsRecorder::logLine(apps)), std::string::npos) << log;
    EXPECT_NE(locked, std::string::npos) << log;
    EXPECT_LT(locked, log.find("Program, kısayol ve kaldırma kaydı yazıldı.")) << log;

    // The task's definition lies in the locked folder and is registered from there.
    EXPECT_TEXT(element(readUtf16(folder + L"\\" + kTaskXml), L"Command"), L"\"" + folder + L"\\Dravonil Veriz Avize.exe\"");
    EXPECT_NE(log.find("Komut: \"" + utf8(systemFolder()) + "\\schtasks.exe\" /Create /TN \"Dravonil Veriz Avize\" /XML \"" +
                       utf8(folder) + "\\oturum-acilisi-gorevi.xml\" /F (çıkış kodu 0)"),
              std::string::npos)
        << log;
    // Users may change that folder now (under Wine: its Unix side is world-writable), and its
    // uninstaller is another program: an upgrade elsewhere runs nothing from there, and removes
    // the earlier install's task, entry, shortcut and event source itself.
    ASSERT_TRUE(CopyFileW(kRecorder.c_str(), (folder + L"\\uninstall.exe").c_str(), FALSE));
    removePath(callsFile(L"uninstall"));
    const std::string unixFolder = unixPath(folder);
    runUnix(L"Z:\\bin\\chmod 0777 \"" + std::wstring(unixFolder.begin(), unixFolder.end()) + L"\"");
    ASSERT_TRUE(waitFor([&] { return everyoneMayChange(folder); }, kReactWithin)) << "still locked: " << utf8(folder);

    // Into Program Files: locked as well (a vendor's folder above may pass a user's rights down).
    // The log into a folder that is there: used as it is, never re-permissioned.
    const std::wstring logFolder = L"C:\\Kurulum Kayıtları";
    removePath(logFolder);
    CreateDirectoryW(logFolder.c_str(), nullptr);
    const size_t callsBefore = recorder.calls().size();
    ASSERT_EQ(install(L"/S /LOG=" + logFolder + L"\\kurulum.log"), 0u);
    Calls calls = recorder.calls();
    EXPECT_EQ(Calls(calls.begin() + static_cast<std::ptrdiff_t>(callsBefore), calls.end()),
              Calls{IcaclsRecorder::call(kDefaultFolder)});
    const std::string upgradeLog = utf8(readUtf16(logFolder + L"\\kurulum.log"));
    EXPECT_NE(upgradeLog.find("Kurulum tamamlandı."), std::string::npos);
    EXPECT_FALSE(exists(callsFile(L"uninstall"))) << "the earlier install's uninstaller was run";
    EXPECT_NE(upgradeLog.find("Önceki kurulumun klasörü güvenli değil (başka kullanıcılar değiştirebilir, silebilir ya "
                              "da yeniden adlandırabilir: " + utf8(folder) + "); oradan hiçbir şey çalıştırılmadı"),
              std::string::npos)
        << upgradeLog;
    EXPECT_NE(upgradeLog.find("\\schtasks.exe\" /Delete /TN \"Dravonil Veriz Avize\" /F (çıkış kodu 0)"), std::string::npos);
    EXPECT_TRUE(installedIn(folder)) << "the earlier folder was changed";
    EXPECT_EQ(entriesNamedLikeTheProgram(), 1);
    EXPECT_EQ(tasksNamedLikeTheProgram(), 1);

    // A log path relative to a drive's current folder is refused, and written nowhere.
    EXPECT_EQ(install(L"/S /LOG=C:kurulum-göreli.log"), 2u);
    EXPECT_FALSE(exists(L"C:\\kurulum-göreli.log"));
    EXPECT_FALSE(exists(std::filesystem::current_path().wstring() + L"\\kurulum-göreli.log"));
    EXPECT_EQ(recorder.calls(), calls);
    EXPECT_TRUE(uninstallSilently(kDefaultFolder));
    removePath(apps);
    removePath(logFolder);
}

// A drive letter that Wine's mount manager reports as removable, a stick, on a folder of drive C,
// for as long as the object lives. (Wine's own extension of the mount manager, as winecfg uses it.)
class RemovableDrive {
public:
    RemovableDrive(wchar_t letter, const std::wstring& folder) : letter_(letter) {
        CreateDirectoryW(folder.c_str(), nullptr);
        const std::string path = unixPath(folder);
        if (path.empty()) ADD_FAILURE() << "no Unix name for " << utf8(folder);
        define(path.c_str());
    }
    ~RemovableDrive() { define(nullptr); }  // no mount point: the letter goes
    RemovableDrive(const RemovableDrive&) = delete;
    RemovableDrive& operator=(const RemovableDrive&) = delete;

private:
    struct UnixDrive {  // struct mountmgr_unix_drive of Wine 8
        ULONG size, type, fsType;
        DWORD serial;
        ULONGLONG unixDevice;
        WCHAR letter;
        USHORT mountPointOffset, deviceOffset, labelOffset;
    };
    void define(const char* mountPoint) {
        const HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (manager == INVALID_HANDLE_VALUE) return;
        std::vector<char> buffer(sizeof(UnixDrive) + (mountPoint ? std::strlen(mountPoint) + 1 : 0));
        UnixDrive drive{};
        drive.size = static_cast<ULONG>(buffer.size());
        drive.type = DRIVE_REMOVABLE;
        drive.letter = letter_;
        if (mountPoint) {
            drive.mountPointOffset = sizeof(UnixDrive);
            std::strcpy(buffer.data() + sizeof(UnixDrive), mountPoint);
        }
        std::memcpy(buffer.data(), &drive, sizeof drive);
        constexpr DWORD kDefineUnixDrive = CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
        DWORD bytes = 0;
        const BOOL done = DeviceIoControl(manager, kDefineUnixDrive, buffer.data(), drive.size, nullptr, 0, &bytes, nullptr);
        if (mountPoint && !done) ADD_FAILURE() << "the mount manager did not define the drive (error " << GetLastError() << ")";
        CloseHandle(manager);
    }
    wchar_t letter_;
};

TEST_F(Setup, RefusesAFolderAUserCouldChangeAndLeavesTheEarlierInstallAsItWas) {
    ASSERT_EQ(install(), 0u);
    const std::wstring exe = kDefaultFolder + L"\\Dravonil Veriz Avize.exe";
    WIN32_FILE_ATTRIBUTE_DATA before{};
    GetFileAttributesExW(exe.c_str(), GetFileExInfoStandard, &before);
    placeFile(L"C:\\Kurulum.txt");
    struct Refusal {
        std::wstring folder;
        std::string line;
    };
    const Refusal refusals[] = {
        {L"C:\\Kurulum.txt", "HATA: Kurulum klasörü kullanılamaz (klasör değil, dosya: C:\\Kurulum.txt): C:\\Kurulum.txt"},
        {L"C:\\Kurulum.txt\\Dravonil",
         "HATA: Kurulum klasörü kullanılamaz (klasör değil, dosya: C:\\Kurulum.txt): C:\\Kurulum.txt\\Dravonil"},
        {L"\\\\sunucu\\paylasim\\Dravonil", "HATA: Kurulum klasörü kullanılamaz (ağ yolu): \\\\sunucu\\paylasim\\Dravonil"},
        // A drive's root: NSIS itself does not take it, and the setup does not go elsewhere instead
        // (what is in it is the first reason the setup finds).
        {L"C:\\", "HATA: Kurulum klasörü kullanılamaz (boş değil ve bu programın önceki kurulumu değil: "},
        // A stick can be prepared on another computer and put in after the check.
        {L"G:\\Dravonil", "HATA: Kurulum klasörü kullanılamaz (sabit bir sürücüde değil): G:\\Dravonil"},
        // A folder that is there holds nothing, or only an earlier install's files.
        {L"C:\\Dolu Klasör",
         "HATA: Kurulum klasörü kullanılamaz (boş değil ve bu programın önceki kurulumu değil: hazır.dll): C:\\Dolu Klasör"},
    };
    placeFile(L"C:\\Dolu Klasör\\hazır.dll");
    const RemovableDrive stick(L'g', L"C:\\dva-çubuk");
    ASSERT_EQ(GetDriveTypeW(L"G:\\"), static_cast<UINT>(DRIVE_REMOVABLE));
    for (const Refusal& refusal : refusals) {
        const size_t logs = logFiles().size();
        EXPECT_EQ(install(L"/S /D=" + refusal.folder), 2u) << utf8(refusal.folder);
        EXPECT_TRUE(logHas(refusal.line, logs)) << "expected " << refusal.line << "\nin:\n" << logText(logs);
        EXPECT_FALSE(logHas("Klasör: ", logs)) << "it went on to install:\n" << logText(logs);
    }
    // A folder that is missing at the check (its path is even logged) and that someone else makes
    // before the setup does, here while the first page waits: the setup stops rather than use it.
    const std::wstring raced = L"C:\\Yarış";
    removePath(raced);
    size_t logsBefore = logFiles().size();
    EXPECT_EQ(installClickingThrough(L"/D=" + raced + L"\\Dravonil", [&] { CreateDirectoryW(raced.c_str(), nullptr); }), 2u);
    EXPECT_TRUE(logHas("HATA: Klasör denetimden sonra başkası tarafından oluşturuldu: " + utf8(raced), logsBefore))
        << logText(logsBefore);
    EXPECT_FALSE(exists(raced + L"\\Dravonil\\Dravonil Veriz Avize.exe"));
    removePath(raced);

    // The earlier install: its program, entry and task as they were.
    WIN32_FILE_ATTRIBUTE_DATA after{};
    GetFileAttributesExW(exe.c_str(), GetFileExInfoStandard, &after);
    EXPECT_EQ(CompareFileTime(&before.ftLastWriteTime, &after.ftLastWriteTime), 0) << "the program was written again";
    EXPECT_TEXT(entryValue(L"InstallLocation").value_or(L"(none)"), kDefaultFolder);
    EXPECT_TRUE(exists(kTaskFile));
    EXPECT_FALSE(exists(L"C:\\Dravonil Veriz Avize.exe"));
    removePath(L"C:\\Kurulum.txt");
    removePath(L"C:\\Dolu Klasör");

    // /LOG= into folders that are not there yet: they are made locked, and the log is written.
    const std::wstring logs = L"C:\\Kurulum Kayıtları";
    const std::wstring logFile = logs + L"\\yeni\\kurulum.log";
    removePath(logs);
    ASSERT_EQ(install(L"/S /LOG=" + logFile), 0u);
    const std::string text = utf8(readUtf16(logFile));
    EXPECT_NE(text.find(IcaclsRecorder::logLine(logs)), std::string::npos) << text;
    EXPECT_NE(text.find(IcaclsRecorder::logLine(logs + L"\\yeni")), std::string::npos) << text;
    EXPECT_NE(text.find("Kurulum tamamlandı."), std::string::npos) << text;
    removePath(logs);
    EXPECT_TRUE(uninstallSilently(kDefaultFolder));
}

TEST_F(Setup, OneSetupAtATimeOnTheMachineAndNoSquatterBlocksIt) {
    // A user holds the machine-wide name an earlier setup used (any user may create a Global\ name
    // first), and made the setup's ProgramData folder one everyone may change (under Wine: its
    // Unix side is world-writable): neither blocks the setup. The folder is put aside and made anew.
    const std::shared_ptr<void> squatter(CreateMutexW(nullptr, TRUE, L"Global\\DravonilVerizAvizeSetup"), CloseHandle);
    ASSERT_NE(squatter.get(), nullptr);
    ASSERT_TRUE(exists(kDataFolder));
    const std::string unixFolder = unixPath(kDataFolder);
    runUnix(L"Z:\\bin\\chmod 0777 \"" + std::wstring(unixFolder.begin(), unixFolder.end()) + L"\"");
    ASSERT_TRUE(waitFor([&] { return everyoneMayChange(kDataFolder); }, kReactWithin)) << utf8(kDataFolder);
    EXPECT_EQ(install(), 0u);
    EXPECT_FALSE(everyoneMayChange(kDataFolder)) << "not made anew: " << utf8(kDataFolder);
    EXPECT_TRUE(logHas("Veri klasörü kullanılamazdı (başka kullanıcılar değiştirebilir, silebilir ya da yeniden "
                       "adlandırabilir: " + utf8(kDataFolder) + "); kenara alındı: " + utf8(kDataFolder) + " (kenara alındı "))
        << logText();

    // A setup waiting on its first page holds the lock: a file of that folder, open without sharing.
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = L"\"" + kSetup + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    // Ended whatever happens: it would block every later case.
    const std::shared_ptr<void> waiting(pi.hProcess, [](HANDLE process) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    });
    EXPECT_TRUE(waitFor(
        [&] {
            for (HWND h : windowsOf(pi.dwProcessId))
                if (IsWindowVisible(h)) return true;
            return false;
        },
        Ms{20000}));
    const HANDLE lock = CreateFileW((kDataFolder + L"\\kurulum.kilit").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(lock, INVALID_HANDLE_VALUE) << "the lock file is not held";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
    const size_t logs = logFiles().size();
    EXPECT_EQ(install(), 2u);
    EXPECT_TRUE(logHas("HATA: başka bir kurulum zaten çalışıyor.", logs));

    // That setup ends without letting go by itself: its lock goes with it.
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 5000);
    EXPECT_EQ(install(), 0u);
    EXPECT_TRUE(uninstallSilently(kDefaultFolder));
    for (const std::wstring& aside : foldersIn(kDataFolder.substr(0, kDataFolder.rfind(L'\\'))))
        if (aside.find(L"(kenara alındı ") != std::wstring::npos) removePath(kDataFolder.substr(0, kDataFolder.rfind(L'\\') + 1) + aside);
}

TEST_F(Setup, EndsOnlyCopiesOfTheInstalledProgramAndThoseWithoutAWindowByTheirFile) {
    ASSERT_EQ(install(), 0u);
    // A look-alike: the same windows, run from another file. It is not the installed program.
    const std::wstring other = L"C:\\Başka Yer\\Dravonil Veriz Avize.exe";
    removePath(L"C:\\Başka Yer");
    CreateDirectoryW(L"C:\\Başka Yer", nullptr);
    ASSERT_TRUE(CopyFileW(programFile().c_str(), other.c_str(), FALSE));
    {
        Program lookAlike(StartOn::MainWindow, other);
        ASSERT_TRUE(lookAlike.mainVisible()) << lookAlike.describe();
        // A copy of the installed file without a window this desktop shows, as a copy in another
        // user's session is to a setup run as SYSTEM: the sleeper stands in as the installed file.
        const std::wstring installed = kDefaultFolder + L"\\Dravonil Veriz Avize.exe";
        ASSERT_TRUE(CopyFileW((binDir() + L"dva_sleeper.exe").c_str(), installed.c_str(), FALSE));
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::wstring commandLine = L"\"" + installed + L"\"";
        ASSERT_TRUE(
            CreateProcessW(installed.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        CloseHandle(pi.hThread);

        const size_t logs = logFiles().size();
        EXPECT_TRUE(uninstallSilently(kDefaultFolder));
        DWORD code = STILL_ACTIVE;
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, 1000), WAIT_OBJECT_0) << "the windowless copy still runs";
        GetExitCodeProcess(pi.hProcess, &code);
        EXPECT_EQ(code, 1u) << "it was not ended by the uninstaller";
        CloseHandle(pi.hProcess);
        EXPECT_TRUE(logHas("penceresine ulaşılamadı; 5000 ms sonra işlemi sonlandırıldı.", logs)) << logText(logs);
        EXPECT_TRUE(lookAlike.alive()) << "the look-alike was ended";
        EXPECT_TRUE(logHas("Benzer pencere başka bir programın (işlem", logs)) << logText(logs);
    }
    removePath(L"C:\\Başka Yer");
}

}  // namespace
}  // namespace dva::e2e
