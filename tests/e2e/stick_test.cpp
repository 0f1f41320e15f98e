// USB sticks under Wine, the autorun worms: caught on every removable drive, moved into the
// quarantine, a clean stick never flagged, and the AUTORUN.INF folder given on request.
#include "control_ids.h"
#include "stick_driver.h"

namespace dva::e2e {
namespace {

constexpr DWORD kHidden = kHiddenSystem;
const std::string kWorm = "MZ\x90 the worm's own bytes";
const std::string kUsersText = "Haftalık rapor: her şey yolunda.\r\n";

std::wstring wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

// The volume's serial number as the index writes it, "XXXX-XXXX". (Wine gives each removable
// letter one of its own, whatever stick is in.)
std::string serialOf(char letter) {
    const std::wstring root{static_cast<wchar_t>(letter), L':', L'\\'};
    DWORD serial = 0;
    GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
    char text[16];
    snprintf(text, sizeof text, "%04lX-%04lX", static_cast<unsigned long>(serial >> 16), static_cast<unsigned long>(serial & 0xFFFF));
    return text;
}

// Two sticks of one serial number (cloned sticks share it), the names in capitals: each gets its
// own box, its threats listed in order and moved to the quarantine, the user's file beside them
// untouched.
TEST_F(Sticks, WormSticksAreCleanedIntoTheQuarantineAndTheUsersFileStays) {
    const std::vector<StickFile> worm = {{L"AUTORUN.INF", "[AutoRun]\r\nOPEN=RAVMON.EXE\r\n", kHidden | FILE_ATTRIBUTE_READONLY},
                                         {L"RAVMON.EXE", kWorm, kHidden},
                                         {L"rapor.txt", kUsersText}};
    insertStick(L'E', 0x5E1A1234, worm);
    insertStick(L'F', 0x5E1A1234, worm);
    std::vector<std::wstring> expected;
    for (int box = 0; box < 2; ++box) {
        const auto alert = program().waitForMessageBox();
        ASSERT_TRUE(alert.has_value()) << program().describe();
        EXPECT_EQ(alert->title, kAlertTitle);
        const wchar_t letter = alert->text.front();
        EXPECT_TEXT(alert->text, std::wstring{letter} + L": sürücüsünde virüs tespit edildi!");
        program().close(*alert);
        expected.push_back(std::wstring{letter} + L":\\AUTORUN.INF");
        expected.push_back(std::wstring{letter} + L":\\RAVMON.EXE");
        EXPECT_TRUE(program().waitForLines(expected)) << program().describe();
    }
    EXPECT_TRUE(program().expectNoMessageBoxFor(kNothingFor));
    for (wchar_t letter : {L'E', L'F'}) {
        EXPECT_FALSE(exists(stickFolder(letter) + L"\\AUTORUN.INF"));
        EXPECT_FALSE(exists(stickFolder(letter) + L"\\RAVMON.EXE"));
        EXPECT_EQ(contentOf(stickFolder(letter) + L"\\rapor.txt"), kUsersText);
    }
    // One index line per file moved: the time, the path, the serial number, ..., the SHA-256 that
    // names its copy, which holds the original's bytes.
    const auto lines = indexLines();
    ASSERT_EQ(lines.size(), 4u) << contentOf(quarantineFolder() + L"\\index.tsv");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& fields = lines[i];
        ASSERT_GE(fields.size(), 5u);
        EXPECT_EQ(wide(fields[1]), expected[i]);
        EXPECT_EQ(fields[2], serialOf(fields[1].front()));
        EXPECT_EQ(fields.back().size(), 64u);
        EXPECT_EQ(contentOf(quarantineFolder() + L"\\" + wide(fields.back())), i % 2 ? kWorm : worm[0].bytes);
    }
}

// What users and vendors put on sticks: never a box, never a change.
TEST_F(Sticks, CleanSticksAreLeftAlone) {
    expectLeftAlone(L'E', {{L"autorun.inf", "[autorun]\r\nlabel=Yedek\r\nicon=yedek.ico\r\n", kHidden}, {L"yedek.ico", "ico"}},
                    "a label and an icon");
    expectLeftAlone(L'F', {{L"autorun.inf", "[AutoRun]\r\nopen=setup.exe\r\n"}, {L"setup.exe", "MZ installer"}},
                    "install media");
    expectLeftAlone(L'E', {{L"autorun.inf", "[AutoRun]\r\nshellexecute=rapor.docx\r\n"}, {L"rapor.docx", "PK", kHidden}},
                    "a hidden document");
    expectLeftAlone(L'F', {{L"BitLockerToGo.exe", "MZ reader"}, {L"autorun.inf", "[AutoRun]\r\nopen=RavMon.exe\r\n"},
                           {L"RavMon.exe", kWorm, kHidden}},
                    "a BitLocker To Go discovery volume");
    expectLeftAlone(L'E', {{L"bittorrent.exe", "MZ the user's own"}}, "the user's own bittorrent.exe");
}

// The box may stay open for hours: when it closes, another stick in the drive is not touched.
TEST_F(Sticks, AStickReplacedWhileTheBoxIsOpenIsNotTouched) {
    insertStick(L'E', 0x11111111, {{L"autorun.inf", "[AutoRun]\r\nopen=RavMon.exe\r\n", kHidden}, {L"RavMon.exe", kWorm, kHidden}});
    const auto alert = program().waitForBox(kAlertTitle, L"E: sürücüsünde virüs tespit edildi!");
    ASSERT_TRUE(alert.has_value()) << program().describe();
    const std::wstring pulled = pullStick(L'E');
    insertStick(L'E', 0x22222222, {{L"notlar.txt", kUsersText}});
    program().close(*alert);
    EXPECT_TRUE(program().expectNoMessageBoxFor(kNothingFor));
    EXPECT_TRUE(program().listLines().empty());
    EXPECT_EQ(contentOf(pulled + L"\\RavMon.exe"), kWorm);
    EXPECT_TRUE(indexLines().empty());
}

// A threat that cannot be moved (here: another program holds it) gets one "Hata" box, then quiet
// retries; once it is let go, it is moved.
TEST_F(Sticks, AThreatThatCannotBeMovedGetsOneErrorBoxThenQuietRetries) {
    insertStick(L'E', 0x33333333, {{L"autorun.inf", "[AutoRun]\r\nopen=amvo.exe\r\n", kHidden}, {L"amvo.exe", kWorm, kHidden}});
    auto held = holdOpen(L"E:\\amvo.exe");
    ASSERT_TRUE(held);
    ASSERT_TRUE(program().expectBox(kAlertTitle, L"E: sürücüsünde virüs tespit edildi!"));
    const auto error = program().waitForMessageBox();
    ASSERT_TRUE(error.has_value()) << program().describe();
    EXPECT_EQ(error->title, L"Hata");
    EXPECT_EQ(error->text.rfind(L"Tehdit dosyası silinemedi: E:\\amvo.exe\n", 0), 0u) << program().describe();
    program().close(*error);
    EXPECT_TRUE(program().expectNoMessageBoxFor(Ms{3000}));
    EXPECT_EQ(contentOf(L"E:\\amvo.exe"), kWorm);
    held.reset();
    EXPECT_TRUE(waitFor([] { return !exists(L"E:\\amvo.exe"); }, kDetectWithin));
    EXPECT_TRUE(program().expectNoMessageBoxFor(kNothingFor));
}

// A link on the stick is never followed: what it points at on drive C stays as it is.
TEST_F(Sticks, ALinkIntoDriveCIsNeverFollowed) {
    const std::wstring own = L"C:\\users\\Public\\kendi.exe";
    const std::string before = contentOf(own);
    ASSERT_FALSE(before.empty()) << "stick_drives.sh did not stage the linked file";
    insertStick(L'E', 0x88888888, {{L"autorun.inf", "[AutoRun]\r\nopen=RavMon.exe\r\n", kHidden}}, L"linked");
    ASSERT_TRUE(program().expectBox(kAlertTitle, L"E: sürücüsünde virüs tespit edildi!")) << program().describe();
    // The autorun.inf goes; the link is left where it is (one "Hata" box may say so).
    EXPECT_TRUE(waitFor([] { return !exists(L"E:\\autorun.inf"); }, kReactWithin));
    if (const auto error = program().waitForMessageBox(kReactWithin)) program().close(*error);
    EXPECT_EQ(contentOf(own), before);
    EXPECT_TRUE(exists(own));
    EXPECT_TRUE(indexLines().size() <= 1u) << "something besides the autorun.inf was moved";
}

// Real-time protection off: no stick is looked at; switched on again, the stick in the drive is
// checked at once.
TEST_F(Sticks, NoStickIsLookedAtWhileProtectionIsOff) {
    program().clickMain(ids::main::protection);
    ASSERT_TRUE(program().expectBox(L"Bilgilendirme", L"Anlık koruma pasifleştirilmiştir!", kReactWithin));
    insertStick(L'E', 0x77777777, {{L"autorun.inf", "[AutoRun]\r\nopen=RavMon.exe\r\n", kHidden}, {L"RavMon.exe", kWorm, kHidden}});
    EXPECT_TRUE(program().expectNoMessageBoxFor(Ms{2500}));
    EXPECT_EQ(contentOf(L"E:\\RavMon.exe"), kWorm);
    program().clickMain(ids::main::protection);
    ASSERT_TRUE(program().expectBox(L"Bilgilendirme", L"Anlık koruma aktifleştirilmiştir!", kReactWithin));
    EXPECT_TRUE(program().expectBox(kAlertTitle, L"E: sürücüsünde virüs tespit edildi!")) << program().describe();
    EXPECT_TRUE(program().waitForLines({L"E:\\autorun.inf", L"E:\\RavMon.exe"}));
}

// AutoRun protection ticked: the stick in the drive, and a stick put in later, get the folder
// that no worm can write its autorun.inf over; a stick's own autorun.inf is not fought over.
TEST_F(Sticks, AutoRunProtectionVaccinatesSticks) {
    insertStick(L'E', 0x44444444, {{L"notlar.txt", kUsersText}});
    insertStick(L'F', 0x55555555, {{L"autorun.inf", "[autorun]\r\nlabel=Kurulum\r\n"}});
    ASSERT_TRUE(program().expectNoMessageBoxFor(Ms{2000}));
    program().clickMain(ids::main::autorun);
    // Wine keeps the hidden and system marks of files but reports none on folders: the folder's
    // marks are seen on Windows only.
    const auto vaccinated = [](const std::wstring& folder) {
        const DWORD a = attributes(folder);
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    };
    EXPECT_TRUE(waitFor([&] { return vaccinated(L"E:\\AUTORUN.INF"); }, kDetectWithin)) << program().describe();
    EXPECT_EQ(contentOf(L"F:\\autorun.inf"), "[autorun]\r\nlabel=Kurulum\r\n");

    pullStick(L'E');
    Sleep(2500);  // out for a couple of the program's looks, as a hand takes to swap sticks
    insertStick(L'E', 0x66666666, {});
    EXPECT_TRUE(waitFor([&] { return vaccinated(L"E:\\AUTORUN.INF"); }, kDetectWithin));
    EXPECT_TRUE(program().expectNoMessageBoxFor(kNothingFor));
}

}  // namespace
}  // namespace dva::e2e
