// The main window as the user finds it and the commands that do not involve the scan.
#include "control_ids.h"
#include "driver.h"

namespace dva::e2e {
namespace {

int screenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

SIZE clientSize(HWND h) {
    RECT r{};
    GetClientRect(h, &r);
    return {r.right - r.left, r.bottom - r.top};
}

using MainWindow = ProgramTest;

TEST_F(MainWindow, OpensWithProtectionOnAndAllItsControls) {
    Program& p = program();
    // Nothing to find on a clean drive: the running scan stays silent.
    EXPECT_TRUE(p.expectNoMessageBoxFor(3000ms));
    EXPECT_EQ(p.form2(), nullptr) << "the detections window was loaded without a detection";

    HWND main = p.form1();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_TEXT(p.text(main), L"Dravonil Veriz Avize");
    const int dpi = screenDpi();
    const SIZE client = clientSize(main);
    EXPECT_EQ(client.cx, MulDiv(407, dpi, 96)) << "client width at " << dpi << " dpi";
    EXPECT_EQ(client.cy, MulDiv(373, dpi, 96)) << "client height at " << dpi << " dpi";

    const struct {
        int id;
        const wchar_t* caption;
    } captions[] = {
        {ids::Form1Command1, L"Tara ve Temizle"},
        {ids::Form1Command2, L"Virus tespitleri"},
        {ids::Form1Command3, L"Yeni Tehdit Bildir"},
        {ids::Form1Command5, L"Güncelle!"},
        {ids::Form1Command6, L"Online Destek"},
        {ids::Form1Command4, L"Çıkış"},
        {ids::Form1Check2, L"Anlık korumayı Aktifleştir"},
        {ids::Form1Check1, L"AutoRun Koruması Aktifleştir"},
        {ids::Form1Check3, L"Açılışta Güncellemeleri kontrol et"},
        {ids::Form1Check4, L"Web Kalkanını Aktifleştir"},
        {ids::Form1Label1, L"Hakkında"},
        {ids::Form1Label2, L"Seçenekler"},
    };
    for (const auto& c : captions) {
        HWND h = p.mainControl(c.id);
        if (!h) continue;
        EXPECT_TEXT(p.text(h), c.caption) << "control " << c.id;
        EXPECT_TRUE(IsWindowVisible(h)) << utf8(c.caption) << " is not visible";
    }

    // Real-time protection on, AutoRun protection off, the two unavailable options greyed.
    EXPECT_EQ(p.checkState(ids::Form1Check2), BST_CHECKED);
    EXPECT_TRUE(IsWindowEnabled(p.mainControl(ids::Form1Check2)));
    EXPECT_EQ(p.checkState(ids::Form1Check1), BST_UNCHECKED);
    EXPECT_TRUE(IsWindowEnabled(p.mainControl(ids::Form1Check1)));
    EXPECT_EQ(p.checkState(ids::Form1Check3), BST_UNCHECKED);
    EXPECT_FALSE(IsWindowEnabled(p.mainControl(ids::Form1Check3)));
    EXPECT_EQ(p.checkState(ids::Form1Check4), BST_CHECKED);
    EXPECT_FALSE(IsWindowEnabled(p.mainControl(ids::Form1Check4)));
}

TEST_F(MainWindow, GreyedOptionsIgnoreClicks) {
    Program& p = program();
    HWND check3 = p.mainControl(ids::Form1Check3), check4 = p.mainControl(ids::Form1Check4);
    ASSERT_TRUE(check3 && check4);
    // Real clicks of the mouse on them do nothing at all.
    for (int round = 0; round < 2; ++round) {
        p.clickWithMouse(check3);
        p.clickWithMouse(check4);
        EXPECT_TRUE(p.expectNoMessageBoxFor(1500ms)) << "round " << round;
        EXPECT_EQ(p.checkState(ids::Form1Check3), BST_UNCHECKED) << "round " << round;
        EXPECT_EQ(p.checkState(ids::Form1Check4), BST_CHECKED) << "round " << round;
    }
    // A click delivered to them as a message (which an automatic check box acts on even when it
    // is greyed) neither toggles them nor starts anything.
    p.click(check3);
    p.click(check4);
    EXPECT_TRUE(p.expectNoMessageBoxFor(1500ms));
    EXPECT_EQ(p.checkState(ids::Form1Check3), BST_UNCHECKED);
    EXPECT_EQ(p.checkState(ids::Form1Check4), BST_CHECKED);
    EXPECT_FALSE(IsWindowEnabled(check3));
    EXPECT_FALSE(IsWindowEnabled(check4));
    EXPECT_EQ(p.checkState(ids::Form1Check2), BST_CHECKED);
    EXPECT_EQ(p.checkState(ids::Form1Check1), BST_UNCHECKED);
    EXPECT_EQ(p.form2(), nullptr);

    // The same mouse click does reach an enabled switch: the clicks above were real ones.
    p.clickWithMouse(p.mainControl(ids::Form1Check2));
    EXPECT_TRUE(p.expectBox(L"Bilgilendirme", L"Anlık koruma pasifleştirilmiştir!", kReactWithin));
    EXPECT_EQ(p.checkState(ids::Form1Check2), BST_UNCHECKED);
}

TEST_F(MainWindow, UnavailableFeaturesAnswerWithTheSameNotice) {
    Program& p = program();
    for (int id : {ids::Form1Command3, ids::Form1Command5, ids::Form1Command3, ids::Form1Command5}) {
        p.clickMain(id);
        EXPECT_TRUE(p.expectBox(L"Bilgi!", L"0.1 Beta sürümde bu özellik yoktur.", kReactWithin)) << "button " << id;
    }
    // One notice per click, and nothing else changes.
    EXPECT_TRUE(p.expectNoMessageBoxFor(1500ms));
    EXPECT_EQ(p.form2(), nullptr);
    EXPECT_EQ(p.checkState(ids::Form1Check2), BST_CHECKED);
    EXPECT_EQ(p.checkState(ids::Form1Check1), BST_UNCHECKED);
    EXPECT_TRUE(IsWindowVisible(p.form1()));
}

TEST_F(MainWindow, ExitCommandEndsTheProgramWithOtherWindowsOpen) {
    Program& p = program();
    p.clickMain(ids::Form1Command2);
    ASSERT_TRUE(waitFor([&] { return p.form2() && IsWindowVisible(p.form2()); }, kReactWithin))
        << "the detections window did not open\n" << p.describe();
    const auto code = p.exitByCommand();
    ASSERT_TRUE(code.has_value()) << "the process is still running after \"Çıkış\"";
    EXPECT_EQ(*code, 0u);
}

}  // namespace
}  // namespace dva::e2e
