#include "stick_driver.h"

#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace dva::e2e {
namespace {

std::wstring sticksFolder() { return fileFromEnvironment(L"DVA_STICKS"); }

void writeFile(const std::wstring& path, const std::string& bytes) {
    std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}

// Through the shell's own IShellLinkW, as Windows makes shortcuts.
void makeShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                           reinterpret_cast<void**>(&link))));
    link->SetPath(target.c_str());
    link->SetArguments(arguments.c_str());
    IPersistFile* file = nullptr;
    const bool saved = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
                       SUCCEEDED(file->Save(path.c_str(), TRUE));
    if (file) file->Release();
    link->Release();
    ASSERT_TRUE(saved) << "could not make the shortcut " << utf8(path);
}

}  // namespace

std::wstring stickFolder(wchar_t letter) { return sticksFolder() + L"\\" + static_cast<wchar_t>(towlower(letter)); }

std::string contentOf(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void insertStick(wchar_t letter, DWORD serial, const std::vector<StickFile>& files, const std::wstring& base) {
    const std::wstring staging = sticksFolder() + L"\\staging";
    removePath(staging);
    if (base.empty()) {
        ASSERT_TRUE(CreateDirectoryW(staging.c_str(), nullptr));
    } else {
        ASSERT_TRUE(MoveFileW((sticksFolder() + L"\\" + base).c_str(), staging.c_str())) << "no " << utf8(base) << " beside the sticks";
    }
    // Wine reads a drive's serial number from this file in its root.
    char serialText[16];
    snprintf(serialText, sizeof serialText, "%08lx\n", static_cast<unsigned long>(serial));
    writeFile(staging + L"\\.windows-serial", serialText);
    for (const StickFile& f : files) {
        const std::wstring path = staging + L"\\" + f.name;
        if (f.name.back() == L'\\') {
            ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << utf8(path);
        } else if (!f.target.empty()) {
            ASSERT_NO_FATAL_FAILURE(makeShortcut(path, f.target, f.arguments));
        } else {
            writeFile(path, f.bytes);
        }
        if (f.attributes) SetFileAttributesW(path.c_str(), f.attributes);
    }
    ASSERT_TRUE(MoveFileW(staging.c_str(), stickFolder(letter).c_str())) << "stick " << char(letter) << " is in already";
}

// Moved, never deleted: a stick may hold a Unix link, which a Windows program under Wine cannot
// delete. The sticks' folder goes as a whole with the test run.
std::wstring pullStick(wchar_t letter) {
    std::wstring aside;
    for (int n = 1; aside.empty() || exists(aside); ++n) aside = sticksFolder() + L"\\out-" + std::to_wstring(n);
    // The program may be looking at the stick's root this very moment (a folder open elsewhere is
    // not renamed): tried again for a while.
    if (exists(stickFolder(letter))) {
        EXPECT_TRUE(waitFor([&] { return MoveFileW(stickFolder(letter).c_str(), aside.c_str()) != FALSE; }, kReactWithin))
            << utf8(aside) << " error " << GetLastError();
    }
    return aside;
}

std::wstring quarantineFolder() { return knownFolder(FOLDERID_ProgramData) + L"\\Dravonil Veriz Avize\\quarantine"; }

std::vector<std::vector<std::string>> indexLines() {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(contentOf(quarantineFolder() + L"\\index.tsv"));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        lines.push_back(fields);
    }
    return lines;
}

void Sticks::SetUp() {
    for (wchar_t letter : {L'E', L'F'}) pullStick(letter);
    removePath(quarantineFolder());
    ProgramTest::SetUp();
}

void Sticks::TearDown() {
    ProgramTest::TearDown();
    for (wchar_t letter : {L'E', L'F'}) pullStick(letter);
    removePath(quarantineFolder());
}

void Sticks::expectLeftAlone(wchar_t letter, const std::vector<StickFile>& files, const std::string& what) {
    insertStick(letter, 0x0C1EA400, files);
    std::vector<std::pair<std::string, DWORD>> before;
    for (const StickFile& f : files) before.emplace_back(contentOf(stickFolder(letter) + L"\\" + f.name), attributes(stickFolder(letter) + L"\\" + f.name));
    EXPECT_TRUE(program().expectNoMessageBoxFor(Ms{2500})) << what;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::wstring path = stickFolder(letter) + L"\\" + files[i].name;
        EXPECT_EQ(contentOf(path), before[i].first) << what << ": " << utf8(files[i].name);
        EXPECT_EQ(attributes(path), before[i].second) << what << ": " << utf8(files[i].name);
    }
    EXPECT_TRUE(program().listLines().empty()) << what;
    pullStick(letter);
}

}  // namespace dva::e2e
