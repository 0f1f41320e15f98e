// The main window (what it shows, the protection switch, the commands without a scan) and the
// detections window "Virus Tespitleri", from the first detection until it is closed.
#include "control_ids.h"
#include "driver.h"
#include "window_classes.h"

namespace dva::e2e {
namespace {

using MainWindow = ProgramTest;

constexpr wchar_t kOff[] = L"Anlık koruma pasifleştirilmiştir!";
constexpr wchar_t kOn[] = L"Anlık koruma aktifleştirilmiştir!";

TEST_F(MainWindow, OpensWithItsControlsAndStaysQuietOnACleanDrive) {
    Program& p = program();
    EXPECT_TRUE(p.expectNoMessageBoxFor(3000ms));
    EXPECT_EQ(p.detectionsWindow(), nullptr) << "the detections window was loaded without a detection";

    HWND main = p.mainWindow();
    EXPECT_TEXT(p.text(main), L"Dravonil Veriz Avize");
    EXPECT_TRUE(clientIs(main, 407, 373));
    const struct {
        int id;
        const wchar_t* caption;
        int state;  // -1: not a check box
        bool enabled;
    } controls[] = {
        {ids::main::scan, L"Tara ve Temizle", -1, true},
        {ids::main::detections, L"Virus tespitleri", -1, true},
        {ids::main::reportThreat, L"Yeni Tehdit Bildir", -1, true},
        {ids::main::update, L"Güncelle!", -1, true},
        {ids::main::support, L"Online Destek", -1, true},
        {ids::main::exit, L"Çıkış", -1, true},
        {ids::main::protection, L"Anlık korumayı Aktifleştir", BST_CHECKED, true},
        {ids::main::autorun, L"AutoRun Koruması Aktifleştir", BST_UNCHECKED, true},
        {ids::main::updateCheck, L"Açılışta Güncellemeleri kontrol et", BST_UNCHECKED, false},
        {ids::main::webShield, L"Web Kalkanını Aktifleştir", BST_CHECKED, false},
        {ids::main::about, L"Hakkında", -1, true},
        {ids::main::options, L"Seçenekler", -1, true},
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
    p.clickMain(ids::main::protection);
    ASSERT_TRUE(p.expectBox(L"Bilgilendirme", kOff, kReactWithin));
    EXPECT_EQ(p.checkState(ids::main::protection), BST_UNCHECKED);
    placeFile(L"C:\\RavMon.exe");
    EXPECT_TRUE(p.expectNoMessageBoxFor(3000ms)) << "a scan while the switch is off";
    EXPECT_TRUE(exists(L"C:\\RavMon.exe"));

    p.clickMain(ids::main::protection);
    ASSERT_TRUE(p.expectBox(L"Bilgilendirme", kOn, kReactWithin));
    EXPECT_EQ(p.checkState(ids::main::protection), BST_CHECKED);
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({L"C:\\RavMon.exe"}));
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\RavMon.exe"); }, kReactWithin));

    // Off again, "Tara ve Temizle" shows the list and scans on every tick; the switch stays off.
    p.clickMain(ids::main::protection);
    ASSERT_TRUE(p.expectBox(L"Bilgilendirme", kOff, kReactWithin));
    placeFile(L"C:\\amvo.reg");
    EXPECT_TRUE(p.expectNoMessageBoxFor(2000ms));
    p.clickMain(ids::main::scan);
    EXPECT_NE(p.waitShown(window_class::kDetections), nullptr) << "\"Tara ve Temizle\" did not show the detections window";
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({L"C:\\RavMon.exe", L"C:\\amvo.reg"}));
    placeFile(L"C:\\amv0.dll");
    EXPECT_TRUE(p.expectAlert()) << "the scan did not go on after its first pass";
    EXPECT_TRUE(p.waitForLines({L"C:\\RavMon.exe", L"C:\\amvo.reg", L"C:\\amv0.dll"}));
    EXPECT_TRUE(waitFor([] { return !exists(L"C:\\amv0.dll"); }, kReactWithin));
    EXPECT_EQ(p.checkState(ids::main::protection), BST_UNCHECKED);
}

TEST_F(MainWindow, GreyedOptionsAndUnavailableFeaturesChangeNothing) {
    Program& p = program();
    // The same notice on every click.
    for (int id : {ids::main::reportThreat, ids::main::update, ids::main::reportThreat, ids::main::update}) {
        p.clickMain(id);
        EXPECT_TRUE(p.expectBox(L"Bilgi!", L"0.1 Beta sürümde bu özellik yoktur.", kReactWithin)) << "button " << id;
    }
    EXPECT_TRUE(p.expectNoMessageBoxFor(1000ms)) << "more than one notice for a click";

    // Greyed check boxes ignore real mouse clicks and BM_CLICK, on which an automatic check box
    // acts even when greyed.
    HWND check3 = p.mainControl(ids::main::updateCheck), check4 = p.mainControl(ids::main::webShield);
    for (const bool mouse : {true, false}) {
        for (HWND h : {check3, check4}) mouse ? clickWithMouse(h) : p.click(h);
        EXPECT_TRUE(p.expectNoMessageBoxFor(kNothingFor)) << (mouse ? "mouse clicks" : "BM_CLICK");
        EXPECT_EQ(p.checkState(ids::main::updateCheck), BST_UNCHECKED) << (mouse ? "mouse clicks" : "BM_CLICK");
        EXPECT_EQ(p.checkState(ids::main::webShield), BST_CHECKED) << (mouse ? "mouse clicks" : "BM_CLICK");
    }
    EXPECT_FALSE(IsWindowEnabled(check3) || IsWindowEnabled(check4));
    EXPECT_EQ(p.checkState(ids::main::protection), BST_CHECKED);
    EXPECT_EQ(p.checkState(ids::main::autorun), BST_UNCHECKED);
    EXPECT_EQ(p.detectionsWindow(), nullptr);

    // The same mouse click does reach an enabled switch: the clicks above were real ones.
    clickWithMouse(p.mainControl(ids::main::protection));
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
    p.clickMain(ids::main::detections);
    return p.waitShown(window_class::kDetections);
}

TEST_F(DetectionsWindow, HoldsItsListFromTheFirstDetectionUntilClosed) {
    Program& p = program();
    // A detection before the window was ever shown loads it hidden, holding the line.
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\logged.txt"));
    ASSERT_NE(p.detectionsWindow(), nullptr);
    EXPECT_FALSE(IsWindowVisible(p.detectionsWindow()));

    HWND window = show(p);
    ASSERT_NE(window, nullptr);
    EXPECT_TEXT(p.text(window), L"Virus Tespitleri");
    EXPECT_TRUE(clientIs(window, 258, 191));
    EXPECT_TEXT(p.text(GetDlgItem(window, ids::detections::heading)), L"Tehditler:");
    EXPECT_TEXT(p.text(GetDlgItem(window, ids::detections::clear)), L"Listeyi Temizle");
    EXPECT_TEXT(p.text(GetDlgItem(window, ids::detections::close)), L"Kapat");
    EXPECT_LINES(p.listLines(), {L"C:\\logged.txt"});

    // Shown again while open, it keeps its lines; a new detection goes to the bottom.
    EXPECT_EQ(show(p), window);
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\logged.txt"));
    EXPECT_LINES(p.listLines(), {L"C:\\logged.txt", L"C:\\logged.txt"});

    // "Listeyi Temizle" empties it without a word; the cleared list takes new lines.
    p.click(GetDlgItem(window, ids::detections::clear));
    EXPECT_TRUE(p.waitForLines({}));
    EXPECT_TRUE(p.expectNoMessageBoxFor(1000ms));
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\Explorer.exe"));
    EXPECT_LINES(p.listLines(), {L"C:\\Explorer.exe"});
    EXPECT_TRUE(IsWindowVisible(window));

    // "Kapat" and the close box each discard the window with its list.
    p.click(GetDlgItem(window, ids::detections::close));
    ASSERT_TRUE(p.waitGone(window_class::kDetections));
    ASSERT_NE(show(p), nullptr);
    EXPECT_LINES(p.listLines(), {}) << "the list of a closed window came back";
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\amvo.dll"));
    PostMessageW(p.detectionsWindow(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(p.waitGone(window_class::kDetections));
    EXPECT_TRUE(p.expectNoMessageBoxFor(1000ms));

    // The next detection loads a fresh hidden window that holds only that line.
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\ActivexDebugger32.exe"));
    ASSERT_NE(p.detectionsWindow(), nullptr);
    EXPECT_FALSE(IsWindowVisible(p.detectionsWindow()));
    EXPECT_LINES(p.listLines(), {L"C:\\ActivexDebugger32.exe"});
    EXPECT_TRUE(p.mainVisible());
}

}  // namespace
}  // namespace dva::e2e
