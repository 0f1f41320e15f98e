// Protection alongside the program's other boxes and windows: a notice left open does not pause
// it, a second start brings back a minimised main window, and the AutoRun switch and the scan never
// handle C:\AutoRun.inf at the same time.
#include <iostream>
#include <string>
#include <vector>

#include "control_ids.h"
#include "driver.h"
#include "window_classes.h"

namespace dva::e2e {
namespace {

const std::wstring kAutoRun = L"C:\\AutoRun.inf";
constexpr wchar_t kNotice[] = L"0.1 Beta sürümde bu özellik yoktur.";
constexpr wchar_t kAlertTitle[] = L"Virüs Bulundu!", kAlertText[] = L"Sisteminizde virus tespit edildi!";

// The boxes of the program on screen, by title and text. Counted here rather than by the driver,
// whose count of boxes open at once fails any case with two: here the notice and the alert are
// meant to be open together.
std::vector<MessageBoxSeen> boxesOf(const Program& p) {
    DWORD pid = 0;
    GetWindowThreadProcessId(p.mainWindow(), &pid);
    std::vector<MessageBoxSeen> seen;
    for (HWND box : windowsOf(pid)) {
        wchar_t name[16] = {};
        GetClassNameW(box, name, 16);
        if (pid && std::wstring(name) == L"#32770" && IsWindowVisible(box))
            seen.push_back({box, p.text(box), p.text(GetDlgItem(box, 0xFFFF))});
    }
    return seen;
}

std::string describeBoxes(const std::vector<MessageBoxSeen>& boxes) {
    std::string out;
    for (const auto& b : boxes) out += " [" + utf8(b.title) + " | " + utf8(b.text) + "]";
    return out.empty() ? " none" : out;
}

class NoticeLeftOpen : public ProgramTest {};

TEST_F(NoticeLeftOpen, DoesNotPauseProtection) {
    Program& p = program();
    p.clickMain(ids::main::reportThreat);
    const auto notice = p.waitForBox(L"Bilgi!", kNotice, kReactWithin);
    ASSERT_TRUE(notice.has_value());

    const std::wstring threat = L"C:\\RavMon.exe";
    placeFile(threat);
    const auto placed = std::chrono::steady_clock::now();
    std::optional<MessageBoxSeen> alert;
    const auto alertOpen = [&] {
        for (const auto& b : boxesOf(p))
            if (b.title == kAlertTitle && b.text == kAlertText) alert = b;
        return alert.has_value();
    };
    ASSERT_TRUE(waitFor(alertOpen, Ms{2000}))
        << "no alert within 2 s while the notice was open; boxes:" << describeBoxes(boxesOf(p)) << "\n"
        << p.describe();
    std::cout << "alert after "
              << std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - placed).count() << " ms"
              << std::endl;
    EXPECT_TRUE(IsWindow(notice->hwnd)) << "the notice went away";

    p.close(*alert);
    EXPECT_TRUE(waitFor([&] { return !exists(threat); }, kReactWithin)) << "the threat was not deleted";
    EXPECT_TRUE(p.waitForLines({threat}));
    EXPECT_EQ(boxesOf(p).size(), 1u) << describeBoxes(boxesOf(p));
    p.close(*notice);
    EXPECT_TRUE(p.expectNoMessageBoxFor(Ms{1500}));
}

// ---- a second start ----

class SecondStart : public ProgramTest {};

TEST_F(SecondStart, RestoresAMinimisedMainWindow) {
    Program& p = program();
    HWND main = p.mainWindow();
    ASSERT_NE(main, nullptr);
    PostMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);  // its minimise box
    ASSERT_TRUE(waitFor([&] { return IsIconic(main) != FALSE; }, kReactWithin)) << "not minimised\n" << p.describe();

    const OtherStart other = startAgain(Ms{15000});
    EXPECT_EQ(other.exitCode, std::optional<DWORD>{0});
    EXPECT_TRUE(waitFor([&] { return !IsIconic(main) && IsWindowVisible(main); }, kReactWithin))
        << "the main window is still minimised after a second start\n" << p.describe();
    EXPECT_EQ(p.windows(window_class::kMain).size(), 1u);
}

// ---- the AutoRun switch and the scan ----

class AutoRunAndScan : public ProgramTest {};

// The switch ticked while a read-only root file waits for the scan's next tick: the switch handles
// it alone, and ticks that fall while its boxes are open leave the file to it.
TEST_F(AutoRunAndScan, SwitchTickedInTheSecondTheScanSeesTheFileHandlesItAlone) {
    Program& p = program();
    constexpr wchar_t kFound[] = L"AutoRun Korumasını etkileyecek bir virüs tespit edildi!";
    constexpr wchar_t kProtected[] = L"Virüs Temizlenerek koruma oluşturuldu!";

    // The scan stops, the file is placed, and the scan starts again: its first tick comes 1 s after
    // the box below is closed, and the switch is ticked at once, in that second.
    p.clickMain(ids::main::protection);
    ASSERT_TRUE(p.expectBox(L"Bilgilendirme", L"Anlık koruma pasifleştirilmiştir!", kReactWithin));
    placeFile(kAutoRun, FILE_ATTRIBUTE_READONLY);
    p.clickMain(ids::main::protection);
    const auto on = p.waitForBox(L"Bilgilendirme", L"Anlık koruma aktifleştirilmiştir!", kReactWithin);
    ASSERT_TRUE(on.has_value());
    p.close(*on);
    p.clickMain(ids::main::autorun);

    const auto warning = p.waitForBox(L"Virüs Bulundu!", kFound, kReactWithin);
    ASSERT_TRUE(warning.has_value());
    // Ticks keep coming while the warning waits: none of them touches the file or opens a box.
    EXPECT_FALSE(waitFor([&] { return boxesOf(p).size() > 1; }, Ms{2500}))
        << "a second box while the switch's warning was open:" << describeBoxes(boxesOf(p));
    EXPECT_TRUE(exists(kAutoRun) && !(attributes(kAutoRun) & FILE_ATTRIBUTE_DIRECTORY))
        << "the file was touched under the switch's warning";
    p.close(*warning);

    EXPECT_TRUE(p.expectBox(L"Bilgilendirme", kProtected, kReactWithin));
    EXPECT_TRUE(p.expectNoMessageBoxFor(Ms{2500})) << "the scan reported something after the switch";
    EXPECT_LINES(p.listLines(), {kAutoRun});
    EXPECT_TRUE(exists(kAutoRun) && (attributes(kAutoRun) & FILE_ATTRIBUTE_DIRECTORY)) << "no folder in place";
    EXPECT_TRUE(p.alive());
}

}  // namespace
}  // namespace dva::e2e
