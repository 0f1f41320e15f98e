// USB sticks under Wine, the shortcut worm: the user's hidden folders made visible again with
// everything in them, the worm's shortcuts and script moved into the quarantine; the user's own
// shortcuts left alone; a root of 20,000 entries checked with the window answering.
#include <algorithm>
#include <filesystem>
#include <iostream>

#include "stick_driver.h"

namespace dva::e2e {
namespace {

const std::wstring kWscript = L"C:\\windows\\system32\\wscript.exe";
const std::wstring kCmd = L"C:\\windows\\system32\\cmd.exe";
const std::string kScript = "Set s = CreateObject(\"WScript.Shell\") ' the worm\r\n";
const std::wstring kNbsp = L"\u00A0";

// A shortcut whose target only its environment block gives (tests/unit/data/README.md says how it
// was made): cmd.exe with "/c start x.vbs".
std::string environmentTargetShortcut() {
    std::wstring folder = L"Z:" DVA_TEST_DATA;
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    return contentOf(folder + L"\\environment-target-only.lnk");
}

std::vector<std::wstring> sorted(std::vector<std::wstring> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

// What a folder holds, file by file, with the bytes of each.
std::vector<std::pair<std::wstring, std::string>> contentsOf(const std::wstring& folder) {
    std::vector<std::pair<std::wstring, std::string>> files;
    std::error_code ignored;
    for (std::filesystem::recursive_directory_iterator it(folder, ignored), end; !ignored && it != end; it.increment(ignored))
        files.emplace_back(it->path().wstring().substr(folder.size()), contentOf(it->path().wstring()));
    std::sort(files.begin(), files.end());
    return files;
}

bool visible(const std::wstring& path) {
    const DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & kHiddenSystem);
}

TEST_F(Sticks, ShortcutWormHidingTwoFoldersIsCleanedAndTheFoldersComeBack) {
    insertStick(L'E', 0x7E570001,
                {{L"Belgeler\\", "", FILE_ATTRIBUTE_HIDDEN},
                 {L"Belgeler\\rapor.docx", "PK rapor"},
                 {L"Belgeler\\Eski\\", ""},
                 {L"Belgeler\\Eski\\not.txt", "eski not", FILE_ATTRIBUTE_HIDDEN},
                 {L"Fotoğraflar\\", "", kHiddenSystem},
                 {L"Fotoğraflar\\tatil.jpg", "JFIF tatil"},
                 {L"rapor.docx", "PK kök rapor", FILE_ATTRIBUTE_HIDDEN},
                 {L"x.vbs", kScript, kHiddenSystem},
                 {L"Belgeler.lnk", "", 0, kWscript, L"x.vbs"},
                 {L"Fotoğraflar.lnk", "", 0, kWscript, L"//B x.vbs"},
                 {L"rapor.docx.lnk", "", 0, kWscript, L"x.vbs"}});
    const auto belgeler = contentsOf(L"E:\\Belgeler"), fotograflar = contentsOf(L"E:\\Fotoğraflar");
    ASSERT_TRUE(program().expectBox(kAlertTitle, L"E: sürücüsünde virüs tespit edildi!")) << program().describe();
    EXPECT_TRUE(waitFor([&] { return program().listLines().size() == 4; }, kReactWithin));
    EXPECT_EQ(sorted(program().listLines()),
              sorted({L"E:\\Belgeler.lnk", L"E:\\Fotoğraflar.lnk", L"E:\\rapor.docx.lnk", L"E:\\x.vbs"}));
    // (Wine reports no hidden or system marks on folders: under it only the file's are seen.)
    EXPECT_TRUE(waitFor([] { return visible(L"E:\\Belgeler") && visible(L"E:\\Fotoğraflar") && visible(L"E:\\rapor.docx"); },
                        kReactWithin));
    EXPECT_EQ(contentOf(L"E:\\rapor.docx"), "PK kök rapor");
    // Only the folders themselves: what they hold keeps its bytes and its own marks.
    EXPECT_EQ(contentsOf(L"E:\\Belgeler"), belgeler);
    EXPECT_EQ(contentsOf(L"E:\\Fotoğraflar"), fotograflar);
    EXPECT_NE(attributes(L"E:\\Belgeler\\Eski\\not.txt") & FILE_ATTRIBUTE_HIDDEN, 0u);
    for (const wchar_t* gone : {L"E:\\Belgeler.lnk", L"E:\\Fotoğraflar.lnk", L"E:\\rapor.docx.lnk", L"E:\\x.vbs"})
        EXPECT_FALSE(exists(gone));
    EXPECT_EQ(indexLines().size(), 4u);
    EXPECT_TRUE(program().expectNoMessageBoxFor(kNothingFor));
}

// The variant with one hidden folder of an invisible name that holds everything, opened by the
// shortcut's arguments, which the worm pads past what a dialog shows; and a shortcut whose target
// is given only in its environment block.
TEST_F(Sticks, ShortcutWormOfTheSingleHiddenFolderGivesItBack) {
    const std::wstring padded = std::wstring(300, L' ') + L"/c start x.vbs & start explorer \"" + kNbsp + L"\"";
    insertStick(L'E', 0x7E570002,
                {{kNbsp + L"\\", "", kHiddenSystem},
                 {kNbsp + L"\\Ödev.docx", "PK ödev"},
                 {kNbsp + L"\\Müzik\\", ""},
                 {kNbsp + L"\\Müzik\\şarkı.mp3", "ID3 şarkı"},
                 {L"x.vbs", kScript, kHiddenSystem},
                 {L"KINGSTON.lnk", "", 0, kCmd, padded},
                 {L"Okul.lnk", environmentTargetShortcut()}});
    const auto content = contentsOf(L"E:\\" + kNbsp);
    ASSERT_TRUE(program().expectBox(kAlertTitle, L"E: sürücüsünde virüs tespit edildi!")) << program().describe();
    EXPECT_TRUE(waitFor([] { return visible(L"E:\\" + kNbsp); }, kReactWithin)) << program().describe();
    EXPECT_EQ(contentsOf(L"E:\\" + kNbsp), content);
    EXPECT_TRUE(waitFor([&] { return program().listLines().size() == 3; }, kReactWithin));
    EXPECT_EQ(sorted(program().listLines()), sorted({L"E:\\KINGSTON.lnk", L"E:\\Okul.lnk", L"E:\\x.vbs"}));
}

TEST_F(Sticks, UsersOwnShortcutsAreLeftAlone) {
    expectLeftAlone(L'E',
                    {{L"Belgeler\\", ""},
                     {L"Belgeler.lnk", "", 0, L"E:\\Belgeler"},
                     {L"Not Defteri.lnk", "", 0, L"C:\\windows\\notepad.exe"},
                     {L"BELGELER2.lnk", "", 0, L"C:\\windows\\notepad.exe", L"Belgeler"},
                     {L"Parolalar.kdbx", "KDBX", FILE_ATTRIBUTE_HIDDEN},
                     {L"Parolalar.lnk", "", 0, L"E:\\Parolalar.kdbx"},
                     {L"Araç\\", "", FILE_ATTRIBUTE_HIDDEN},
                     {L"Araç\\arac.exe", "MZ portable", FILE_ATTRIBUTE_HIDDEN},
                     {L"Araç.lnk", "", 0, L"E:\\Araç\\arac.exe"}},
                    "the user's own shortcuts");
}

// 20,000 entries in the root: the listing runs off the window's thread, which answers throughout.
TEST_F(Sticks, AHugeRootIsCheckedWithTheWindowAnswering) {
    // The 20,000 files are made by stick_drives.sh.
    insertStick(L'E', 0x7E570003,
                {{L"rapor.docx", "PK rapor", FILE_ATTRIBUTE_HIDDEN},
                 {L"x.vbs", kScript, kHiddenSystem},
                 {L"rapor.docx.lnk", "", 0, kWscript, L"x.vbs"}},
                L"huge");
    const HWND main = program().mainWindow();
    DWORD_PTR answer = 0;
    long long slowest = 0;
    const auto start = std::chrono::steady_clock::now();
    while (program().messageBoxes().empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
        const auto asked = std::chrono::steady_clock::now();
        SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer);
        slowest = std::max<long long>(slowest, std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - asked).count());
        Sleep(20);
    }
    std::cout << "slowest answer of the main window during the check: " << slowest << " ms\n";
    EXPECT_LT(slowest, 500) << "the window did not answer while the stick was checked";
    ASSERT_TRUE(program().expectBox(kAlertTitle, L"E: sürücüsünde virüs tespit edildi!")) << program().describe();
    EXPECT_TRUE(waitFor([] { return visible(L"E:\\rapor.docx"); }, kDetectWithin));
}

}  // namespace
}  // namespace dva::e2e
