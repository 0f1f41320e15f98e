// The MSI package as Group Policy, Intune or an administrator's script runs it, through Windows
// Installer (Wine's msiexec) with /qn: what /i adds and /x removes, a newer package replacing an
// older one, a downgrade refused, NOAUTOSTART=1, a folder outside Program Files refused, and the
// NSIS setup and the package refusing each other's install. Runs in a Wine prefix of its own. The
// package and the setup are the ones built beside this test program, or the ones DVA_MSI and
// DVA_SETUP name (the 32-bit ones); DVA_OLDER_MSI names a package of a lower version made from the
// same template.
#include <shlobj.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "driver.h"

namespace dva::e2e {
namespace {

std::wstring fileOr(const wchar_t* variable, const std::wstring& builtBeside) {
    const std::wstring named = fileFromEnvironment(variable);
    return named.empty() ? binDir() + builtBeside : named;
}
const std::wstring kPackage = fileOr(L"DVA_MSI", DVA_MSI_FILE);
const std::wstring kSetup = fileOr(L"DVA_SETUP", DVA_SETUP_FILE);
const std::wstring kOlderPackage = fileFromEnvironment(L"DVA_OLDER_MSI");
const bool k32Bit = kPackage.ends_with(L"-x86.msi");
const REGSAM kOwnView = k32Bit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr wchar_t kProduct[] = L"Dravonil Veriz Avize";
constexpr wchar_t kUninstallRoot[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kEventSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Dravonil Veriz Avize";

std::wstring systemFolder() {
    wchar_t path[MAX_PATH] = {};
    GetSystemDirectoryW(path, MAX_PATH);
    return path;
}
const std::wstring kFolder =
    knownFolder(k32Bit ? FOLDERID_ProgramFilesX86 : FOLDERID_ProgramFilesX64) + L"\\Dravonil Veriz Avize";
const std::wstring kExe = kFolder + L"\\Dravonil Veriz Avize.exe";
const std::wstring kDefinition = kFolder + L"\\oturum-acilisi-gorevi.xml";
const std::wstring kTaskFile = systemFolder() + L"\\Tasks\\Dravonil Veriz Avize";
// The all-users shortcut. Wine's msiexec resolves ProgramMenuFolder to the user's Start menu
// even for a per-machine package (ALLUSERS=1), where Windows takes the all-users one.
const std::wstring kShortcut = knownFolder(FOLDERID_CommonPrograms) + L"\\Dravonil Veriz Avize.lnk";
const std::wstring kWineShortcut = knownFolder(FOLDERID_Programs) + L"\\Dravonil Veriz Avize.lnk";

// A text file as msiexec writes its log (ANSI under Wine) or as the setup writes its own and the
// task's definition (UTF-16 with a byte-order mark), as UTF-8.
std::string readText(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') return bytes;
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    std::memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    return utf8(text);
}

// The text of the first <name> element of the XML, or "(none)".
std::string element(const std::string& xml, const std::string& name) {
    const auto open = xml.find("<" + name + ">");
    const auto close = xml.find("</" + name + ">");
    if (open == std::string::npos || close == std::string::npos) return "(none)";
    return xml.substr(open + name.size() + 2, close - open - name.size() - 2);
}

// The entries named like the program in Settings > Apps, in either registry view.
struct Entry {
    REGSAM view;
    // cppcheck-suppress unusedStructMember ; read in the cases through EXPECT_TEXT, which cppcheck does not expand
    std::wstring version, location, publisher;
};
std::vector<Entry> entries() {
    std::vector<Entry> found;
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        HKEY root = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallRoot, 0, KEY_READ | view, &root) != ERROR_SUCCESS) continue;
        wchar_t name[256];
        for (DWORD i = 0, length = 256;
             RegEnumKeyExW(root, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             ++i, length = 256) {
            const auto value = [&](const wchar_t* of) {
                wchar_t text[1024] = {};
                DWORD size = sizeof text;
                RegGetValueW(root, name, of, RRF_RT_REG_SZ, nullptr, text, &size);
                return std::wstring(text);
            };
            if (value(L"DisplayName") == kProduct)
                found.push_back({view, value(L"DisplayVersion"), value(L"InstallLocation"), value(L"Publisher")});
        }
        RegCloseKey(root);
    }
    return found;
}

// The program's event source as Event Viewer reads it: its message file, "" when there is none.
std::wstring eventMessageFile(DWORD& type, DWORD& types) {
    wchar_t file[MAX_PATH] = {};
    DWORD size = sizeof file;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kEventSourceKey, L"EventMessageFile", RRF_RT_ANY | RRF_NOEXPAND, &type, file,
                     &size) != ERROR_SUCCESS)
        return L"";
    size = sizeof types;
    RegGetValueW(HKEY_LOCAL_MACHINE, kEventSourceKey, L"TypesSupported", RRF_RT_REG_DWORD, nullptr, &types, &size);
    return file;
}

// msiexec as a deployment tool runs it: no user interface, a verbose log, which is kept.
struct Result {
    DWORD code;
    std::string log;
};
Result msiexec(const std::wstring& arguments) {
    static int runs = 0;
    const std::wstring log = L"C:\\dva-msi-" + std::to_wstring(++runs) + L".log";
    const auto code = runToEnd(L"\"" + systemFolder() + L"\\msiexec.exe\" " + arguments + L" /qn /l*v \"" + log + L"\"");
    return {code.value_or(STILL_ACTIVE), readText(log)};
}
Result install(const std::wstring& package, const std::wstring& properties = L"") {
    return msiexec(L"/i \"" + package + L"\" " + properties);
}
Result remove() { return msiexec(L"/x \"" + kPackage + L"\""); }

// The log of the setup's last run, in its own folder.
std::wstring newestSetupLog() {
    const std::wstring folder = knownFolder(FOLDERID_ProgramData) + L"\\Dravonil Veriz Avize\\logs\\";
    std::wstring newest;
    FILETIME newestTime{};
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"*-setup.log").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
        if (newest.empty() || CompareFileTime(&found.ftCreationTime, &newestTime) >= 0) {
            newest = folder + found.cFileName;
            newestTime = found.ftCreationTime;
        }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return newest;
}

bool taskThere() { return exists(kTaskFile); }

// What of the package is still there, or " nothing".
std::string leftOver() {
    std::string out;
    DWORD type = 0, types = 0;
    if (exists(kFolder)) out += " the folder;";
    if (exists(kShortcut) || exists(kWineShortcut)) out += " the shortcut;";
    if (!entries().empty()) out += " an entry;";
    if (taskThere()) out += " the task;";
    if (!eventMessageFile(type, types).empty()) out += " the event source;";
    return out.empty() ? " nothing" : out;
}

class Msi : public ::testing::Test {
protected:
    // The 32-bit package's custom actions are a 32-bit DLL, run by a 32-bit process.
    void SetUp() override {
        if (const auto why = k32Bit ? x86Unavailable() : std::nullopt) GTEST_SKIP() << *why;
    }
    // A case that failed half-way leaves no install to the next one.
    void TearDown() override {
        if (!entries().empty()) remove();
    }
};

TEST_F(Msi, InstallAddsWhatTheSetupAddsAndRemoveTakesItAllAway) {
    const Result installed = install(kPackage);
    ASSERT_EQ(installed.code, 0u) << installed.log;
    EXPECT_TRUE(exists(kExe)) << utf8(kExe);
    EXPECT_TRUE(exists(kShortcut) || exists(kWineShortcut)) << "no shortcut " << utf8(kShortcut);

    // One entry, the package's own, in the registry view of its bitness.
    const auto found = entries();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].view, kOwnView);
    EXPECT_TEXT(found[0].version, DVA_VERSION);
    EXPECT_TEXT(found[0].publisher, DVA_PUBLISHER);
    EXPECT_TEXT(found[0].location, kFolder + L"\\");

    DWORD type = 0, types = 0;
    EXPECT_TEXT(eventMessageFile(type, types), kExe);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(types, 7u);

    // The task, registered from the definition written beside the program: the NSIS setup's
    // (Wine's task store keeps neither the action nor the principal, so they are read there).
    EXPECT_TRUE(taskThere());
    const std::string xml = readText(kDefinition);
    EXPECT_EQ(element(xml, "SecurityDescriptor"), "D:(A;;FA;;;BA)(A;;FA;;;SY)(A;;FR;;;BU)") << xml;
    EXPECT_EQ(element(xml, "GroupId"), "S-1-5-32-545");
    EXPECT_EQ(element(xml, "RunLevel"), "HighestAvailable");
    EXPECT_EQ(element(xml, "MultipleInstancesPolicy"), "IgnoreNew");
    EXPECT_EQ(element(xml, "Command"), "\"" + utf8(kExe) + "\"");
    EXPECT_EQ(element(xml, "Arguments"), "/signin");
    EXPECT_EQ(element(xml, "WorkingDirectory"), utf8(kFolder));
    // The scheduler's copy (UTF-8 under Wine, UTF-16 on Windows) holds the definition's description.
    EXPECT_EQ(element(readText(kTaskFile), "Description"), "Dravonil Veriz Avize korumasını oturum açılınca başlatır.");

    const Result removed = remove();
    EXPECT_EQ(removed.code, 0u) << removed.log;
    EXPECT_EQ(leftOver(), " nothing");
}

TEST_F(Msi, NewerPackageReplacesAnOlderOneAndNoOlderOneGoesOverIt) {
    ASSERT_FALSE(kOlderPackage.empty()) << "DVA_OLDER_MSI names no older package";
    ASSERT_EQ(install(kOlderPackage).code, 0u);
    ASSERT_EQ(entries().size(), 1u);
    EXPECT_NE(entries()[0].version, DVA_VERSION) << "the older package is not older";

    EXPECT_EQ(install(kPackage).code, 0u);
    const auto found = entries();
    ASSERT_EQ(found.size(), 1u) << "the older entry stayed";
    EXPECT_TEXT(found[0].version, DVA_VERSION);
    EXPECT_TRUE(taskThere());

    // A downgrade: refused, with its reason, and the newer install stays as it was.
    const Result downgrade = install(kOlderPackage);
    EXPECT_EQ(downgrade.code, 1603u);
    EXPECT_NE(downgrade.log.find("ERROR: A newer version of Dravonil Veriz Avize is installed"), std::string::npos)
        << downgrade.log;
    EXPECT_EQ(entries().size(), 1u);
    EXPECT_TRUE(exists(kExe) && taskThere());
    EXPECT_EQ(remove().code, 0u);

    // From another folder of Program Files, with NOAUTOSTART=1: the upgrade stays in that folder,
    // the earlier install's task goes, and no definition is written.
    const std::wstring folder = kFolder + L" Test";
    ASSERT_EQ(install(kOlderPackage, L"INSTALLDIR=\"" + folder + L"\"").code, 0u);
    ASSERT_TRUE(taskThere());
    const Result upgrade = install(kPackage, L"NOAUTOSTART=1");
    EXPECT_EQ(upgrade.code, 0u) << upgrade.log;
    EXPECT_EQ(entries().size(), 1u);
    EXPECT_TRUE(exists(folder + L"\\Dravonil Veriz Avize.exe")) << "not in the earlier install's folder";
    EXPECT_FALSE(exists(kFolder));
    EXPECT_FALSE(taskThere()) << "the task of the older install stayed";
    EXPECT_FALSE(exists(folder + L"\\oturum-acilisi-gorevi.xml"));
    EXPECT_EQ(remove().code, 0u);
    EXPECT_FALSE(exists(folder));
    EXPECT_EQ(leftOver(), " nothing");
}

TEST_F(Msi, RefusesAFolderOutsideProgramFilesWithItsReason) {
    const std::wstring folder = L"C:\\Uygulamalar\\Dravonil Veriz Avize";
    const Result refused = install(kPackage, L"INSTALLDIR=\"" + folder + L"\"");
    EXPECT_EQ(refused.code, 1603u);
    EXPECT_NE(refused.log.find("ERROR: The install folder must lie inside"), std::string::npos) << refused.log;
    EXPECT_FALSE(exists(folder));
    EXPECT_EQ(leftOver(), " nothing");
}

TEST_F(Msi, TheSetupAndThePackageRefuseEachOthersInstall) {
    ASSERT_EQ(runToEnd(L"\"" + kSetup + L"\" /S"), 0u);
    const Result refused = install(kPackage);
    EXPECT_EQ(refused.code, 1603u);
    EXPECT_NE(refused.log.find("ERROR: Dravonil Veriz Avize is installed by its setup program"), std::string::npos)
        << refused.log;
    EXPECT_TRUE(exists(kFolder + L"\\uninstall.exe"));
    ASSERT_EQ(runToEnd(L"\"" + kFolder + L"\\uninstall.exe\" /S _?=" + kFolder), 0u);
    removePath(kFolder);

    ASSERT_EQ(install(kPackage).code, 0u);
    EXPECT_EQ(runToEnd(L"\"" + kSetup + L"\" /S"), 2u);
    const std::string setupLog = readText(newestSetupLog());
    EXPECT_NE(setupLog.find("HATA: Dravonil Veriz Avize MSI paketiyle kurulu"), std::string::npos) << setupLog;
    EXPECT_FALSE(exists(kFolder + L"\\uninstall.exe")) << "the setup installed over the package";
    EXPECT_EQ(entries().size(), 1u);
    EXPECT_EQ(remove().code, 0u);
    EXPECT_EQ(leftOver(), " nothing");
}

}  // namespace
}  // namespace dva::e2e
