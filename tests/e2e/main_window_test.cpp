// The main window (what it shows, the protection switch, the commands without a scan) and the
// detections window "Virus Tespitleri", from the first detection until it is closed.
#include "control_ids.h"
#include "driver.h"

namespace dva::e2e {
namespace {

using MainWindow = ProgramTest;

constexpr wchar_t kOff[] = L"Anlık koruma pasifleştirilmiştir!";
constexpr wchar_t kOn[] = L"Anlık koruma aktifleştirilmiştir!";

TEST_F(MainWindow, OpensWithItsControlsAndStaysQuietOnACleanDrive) {
    Program& p = program();
    EXPECT_TRUE(p.expectNoMessageBoxFor(3000ms));
    EXPECT_EQ(p.form2(), nullptr) << "the detections window was loaded without a detection";

    HWND main = p.form1();
    EXPECT_TEXT(p.text(main), L"Dravonil Veriz Avize");
    EXPECT_TRUE(clientIs(main, 407, 373));
    const struct {
        int id;
        const wchar_t* caption;
        int state;  // -1: not a check box
        bool enabled;
    } controls[] = {
        {ids::Form1Command1, L"Tara ve Temizle", -1, true},
        {ids::Form1Command2, L"Virus tespitleri", -1, true},
        {ids::Form1Command3, L"Yeni Tehdit Bildir", -1, true},
        {ids::Form1Command5, L"Güncelle!", -1, true},
        {ids::Form1Command6, L"Online Destek", -1, true},
        {ids::Form1Command4, L"Çıkış", -1, true},
        {ids::Form1Check2, L"Anlık korumayı Aktifleştir", BST_CHECKED, true},
        {ids::Form1Check1, L"AutoRun Koruması Aktifleştir", BST_UNCHECKED, true},
        {ids::Form1Check3, L"Açılışta Güncellemeleri kontrol et", BST_UNCHECKED, false},
        {ids::Form1Check4, L"Web Kalkanını Aktifleştir", BST_CHECKED, false},
        {ids::Form1Label1, L"Hakkında", -1, true},
        {ids::Form1Label2, L"Seçenekler", -1, true},
    };
    for (const auto& c : controls) {
        HWND h = p.mainControl(c.id);
        if (!h) continue;
        EXPECT_TEXT(p.text(h), c.caption) << "control " << c.id;
        EXPECT_TRUE(IsWindowVisible(h)) << utf8(c.caption);
        EXPECT_EQ(IsWindowEnabled(h) != FALSE, c.enabled) << utf8(c.caption);
        if (c.state >= 0) {
            EXPECT_EQ(p.checkState(c.id), c.state) << utf8(c.caption);
        }
    }
}

TEST_F(MainWindow, ProtectionSwitchStopsTheScanAndScanCommandResumesIt) {
    Program& p = program();
    p.clickMain(ids::Form1Check2);
    ASSERT_TRUE(p.expectBox(L"Bilgilendirme", kOff, kReactWithin));
    EXPECT_EQ(p.checkState(ids::Form1Check2), BST_UNCHECKED);
    placeFile(L"C:\\RavMon.exe");
    EXPECT_TRUE(p.expectNoMessageBoxFor(3000ms)) << "a scan while the switch is off";
    EXPECT_TRUE(exists(L"C:\\RavMon.exe"));

    p.clickMain(ids::Form1Check2);
    ASSERT_TRUE(p.expectBox(L"Bilgilendirme", kOn, kReactWithin));
    EXPECT_EQ(p.checkState(ids::Form1Check2), BST_CHECKED);
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({L"C:\\RavMon.exe"}));
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\RavMon.exe"); }, kReactWithin));

    // Off again, "Tara ve Temizle" shows the list and scans on every tick; the switch stays off.
    p.clickMain(ids::Form1Check2);
    ASSERT_TRUE(p.expectBox(L"Bilgilendirme", kOff, kReactWithin));
    placeFile(L"C:\\amvo.reg");
    EXPECT_TRUE(p.expectNoMessageBoxFor(2000ms));
    p.clickMain(ids::Form1Command1);
    EXPECT_NE(p.waitShown(L"Form2"), nullptr) << "\"Tara ve Temizle\" did not show the detections window";
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({L"C:\\RavMon.exe", L"C:\\amvo.reg"}));
    placeFile(L"C:\\amv0.dll");
    EXPECT_TRUE(p.expectAlert()) << "the scan did not go on after its first pass";
    EXPECT_TRUE(p.waitForLines({L"C:\\RavMon.exe", L"C:\\amvo.reg", L"C:\\amv0.dll"}));
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\amv0.dll"); }, kReactWithin));
    EXPECT_EQ(p.checkState(ids::Form1Check2), BST_UNCHECKED);
}

TEST_F(MainWindow, GreyedOptionsAndUnavailableFeaturesChangeNothing) {
    Program& p = program();
    // The same notice on every click.
    for (int id : {ids::Form1Command3, ids::Form1Command5, ids::Form1Command3, ids::Form1Command5}) {
        p.clickMain(id);
        EXPECT_TRUE(p.expectBox(L"Bilgi!", L"0.1 Beta sürümde bu özellik yoktur.", kReactWithin)) << "button " << id;
    }
    EXPECT_TRUE(p.expectNoMessageBoxFor(1000ms)) << "more than one notice for a click";

    // Greyed check boxes ignore real mouse clicks and BM_CLICK, on which an automatic check box
    // acts even when greyed.
    HWND check3 = p.mainControl(ids::Form1Check3), check4 = p.mainControl(ids::Form1Check4);
    for (const bool mouse : {true, false}) {
        for (HWND h : {check3, check4}) mouse ? clickWithMouse(h) : p.click(h);
        EXPECT_TRUE(p.expectNoMessageBoxFor(kNothingFor)) << (mouse ? "mouse clicks" : "BM_CLICK");
        EXPECT_EQ(p.checkState(ids::Form1Check3), BST_UNCHECKED) << (mouse ? "mouse clicks" : "BM_CLICK");
        EXPECT_EQ(p.checkState(ids::Form1Check4), BST_CHECKED) << (mouse ? "mouse clicks" : "BM_CLICK");
    }
    EXPECT_FALSE(IsWindowEnabled(check3) || IsWindowEnabled(check4));
    EXPECT_EQ(p.checkState(ids::Form1Check2), BST_CHECKED);
    EXPECT_EQ(p.checkState(ids::Form1Check1), BST_UNCHECKED);
    EXPECT_EQ(p.form2(), nullptr);

    // The same mouse click does reach an enabled switch: the clicks above were real ones.
    clickWithMouse(p.mainControl(ids::Form1Check2));
    EXPECT_TRUE(p.expectBox(L"Bilgilendirme", kOff, kReactWithin));
}

using DetectionsWindow = ProgramTest;

// Puts a file in place and waits until the program has reported, listed and deleted it.
void detect(const Program& p, const std::wstring& path) {
    const auto before = p.listLines().size();
    placeFile(path);
    ASSERT_TRUE(p.expectAlert()) << utf8(path);
    ASSERT_TRUE(waitFor([&] { return !exists(path) && p.listLines().size() == before + 1; }, kReactWithin))
        << utf8(path) << " was not deleted and listed";
}

HWND show(const Program& p) {
    p.clickMain(ids::Form1Command2);
    return p.waitShown(L"Form2");
}

TEST_F(DetectionsWindow, HoldsItsListFromTheFirstDetectionUntilClosed) {
    Program& p = program();
    // A detection before the window was ever shown loads it hidden, holding the line.
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\logged.txt"));
    ASSERT_NE(p.form2(), nullptr);
    EXPECT_FALSE(IsWindowVisible(p.form2()));

    HWND window = show(p);
    ASSERT_NE(window, nullptr);
    EXPECT_TEXT(p.text(window), L"Virus Tespitleri");
    EXPECT_TRUE(clientIs(window, 258, 191));
    EXPECT_TEXT(p.text(GetDlgItem(window, ids::Form2Label1)), L"Tehditler:");
    EXPECT_TEXT(p.text(GetDlgItem(window, ids::Form2Command1)), L"Listeyi Temizle");
    EXPECT_TEXT(p.text(GetDlgItem(window, ids::Form2Command2)), L"Kapat");
    EXPECT_LINES(p.listLines(), {L"C:\\logged.txt"});

    // Shown again while open, it keeps its lines; a new detection goes to the bottom.
    EXPECT_EQ(show(p), window);
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\logged.txt"));
    EXPECT_LINES(p.listLines(), {L"C:\\logged.txt", L"C:\\logged.txt"});

    // "Listeyi Temizle" empties it without a word; the cleared list takes new lines.
    p.click(GetDlgItem(window, ids::Form2Command1));
    EXPECT_TRUE(p.waitForLines({}));
    EXPECT_TRUE(p.expectNoMessageBoxFor(1000ms));
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\Explorer.exe"));
    EXPECT_LINES(p.listLines(), {L"C:\\Explorer.exe"});
    EXPECT_TRUE(IsWindowVisible(window));

    // "Kapat" and the close box each discard the window with its list.
    p.click(GetDlgItem(window, ids::Form2Command2));
    ASSERT_TRUE(p.waitGone(L"Form2"));
    ASSERT_NE(show(p), nullptr);
    EXPECT_LINES(p.listLines(), {}) << "the list of a closed window came back";
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\amvo.dll"));
    PostMessageW(p.form2(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(p.waitGone(L"Form2"));
    EXPECT_TRUE(p.expectNoMessageBoxFor(1000ms));

    // The next detection loads a fresh hidden window that holds only that line.
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\ActivexDebugger32.exe"));
    ASSERT_NE(p.form2(), nullptr);
    EXPECT_FALSE(IsWindowVisible(p.form2()));
    EXPECT_LINES(p.listLines(), {L"C:\\ActivexDebugger32.exe"});
    EXPECT_TRUE(p.mainVisible());
}

}  // namespace
}  // namespace dva::e2e
