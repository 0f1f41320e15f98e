// Turning the real-time protection off and on: the switch, and "Tara ve Temizle".
#include "control_ids.h"
#include "driver.h"

namespace dva::e2e {
namespace {

using ProtectionSwitch = ProgramTest;

constexpr wchar_t kOff[] = L"Anlık koruma pasifleştirilmiştir!";
constexpr wchar_t kOn[] = L"Anlık koruma aktifleştirilmiştir!";

TEST_F(ProtectionSwitch, TurnsTheScanOffAndOnAgain) {
    Program& p = program();
    const std::wstring path = L"C:\\RavMon.exe";

    p.clickMain(ids::Form1Check2);
    ASSERT_TRUE(p.expectBox(L"Bilgilendirme", kOff, kReactWithin));
    EXPECT_EQ(p.checkState(ids::Form1Check2), BST_UNCHECKED);

    // Off: a threat file stays where it is.
    placeFile(path);
    EXPECT_TRUE(p.expectNoMessageBoxFor(3000ms));
    EXPECT_TRUE(exists(path));
    EXPECT_EQ(p.form2(), nullptr);

    p.clickMain(ids::Form1Check2);
    ASSERT_TRUE(p.expectBox(L"Bilgilendirme", kOn, kReactWithin));
    EXPECT_EQ(p.checkState(ids::Form1Check2), BST_CHECKED);

    // On again: the next pass finds it.
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({path}));
    EXPECT_TRUE(waitFor([&] { return !exists(path); }, kReactWithin));

    // And off once more: the switch keeps working both ways.
    p.clickMain(ids::Form1Check2);
    ASSERT_TRUE(p.expectBox(L"Bilgilendirme", kOff, kReactWithin));
    placeFile(path);
    EXPECT_TRUE(p.expectNoMessageBoxFor(2500ms));
    EXPECT_TRUE(exists(path));
    EXPECT_LINES(p.listLines(), {path});
}

TEST_F(ProtectionSwitch, ScanCommandShowsTheListAndResumesScanningWithTheSwitchOff) {
    Program& p = program();
    const std::wstring path = L"C:\\amvo.reg";

    p.clickMain(ids::Form1Check2);
    ASSERT_TRUE(p.expectBox(L"Bilgilendirme", kOff, kReactWithin));
    placeFile(path);
    EXPECT_TRUE(p.expectNoMessageBoxFor(2000ms));
    ASSERT_TRUE(exists(path));

    p.clickMain(ids::Form1Command1);
    EXPECT_TRUE(waitFor([&] { return p.form2() && IsWindowVisible(p.form2()); }, kReactWithin))
        << "\"Tara ve Temizle\" did not show the detections window";
    // The switch does not follow: the scan runs while it stays unticked.
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({path}));
    EXPECT_TRUE(waitFor([&] { return !exists(path); }, kReactWithin));
    EXPECT_EQ(p.checkState(ids::Form1Check2), BST_UNCHECKED);

    // The scan keeps running on later ticks, into the window that is open.
    placeFile(L"C:\\amv0.dll");
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({path, L"C:\\amv0.dll"}));
    EXPECT_TRUE(IsWindowVisible(p.form2()));

    // A second "Tara ve Temizle" keeps the lines of the open window.
    p.clickMain(ids::Form1Command1);
    EXPECT_TRUE(p.expectNoMessageBoxFor(1500ms));
    EXPECT_LINES(p.listLines(), {path, L"C:\\amv0.dll"});
    EXPECT_EQ(p.checkState(ids::Form1Check2), BST_UNCHECKED);
}

}  // namespace
}  // namespace dva::e2e
