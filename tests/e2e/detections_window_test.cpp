// The detections window "Virus Tespitleri": its list from the first detection until it is closed.
#include "control_ids.h"
#include "driver.h"

namespace dva::e2e {
namespace {

using DetectionsWindow = ProgramTest;

bool shown(const Program& p) {
    HWND h = p.form2();
    return h && IsWindowVisible(h);
}

bool gone(const Program& p) { return p.form2() == nullptr; }

// Puts a file in place and waits until the program has reported, listed and deleted it.
void detect(Program& p, const std::wstring& path) {
    const auto before = p.listLines().size();
    placeFile(path);
    ASSERT_TRUE(p.expectAlert()) << utf8(path);
    ASSERT_TRUE(waitFor([&] { return !exists(path); }, kReactWithin)) << utf8(path) << " stays";
    ASSERT_TRUE(waitFor([&] { return p.listLines().size() == before + 1; }, kReactWithin))
        << utf8(path) << " was not listed";
}

TEST_F(DetectionsWindow, KeepsItsListUntilClosedWithKapat) {
    Program& p = program();

    // A detection before the window was ever shown loads it hidden, holding the line.
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\logged.txt"));
    ASSERT_NE(p.form2(), nullptr);
    EXPECT_FALSE(IsWindowVisible(p.form2()));
    EXPECT_LINES(p.listLines(), {L"C:\\logged.txt"});

    // "Virus tespitleri" shows it with the line.
    p.clickMain(ids::Form1Command2);
    ASSERT_TRUE(waitFor([&] { return shown(p); }, kReactWithin)) << p.describe();
    EXPECT_TEXT(p.text(p.form2()), L"Virus Tespitleri");
    RECT client{};
    GetClientRect(p.form2(), &client);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(client.right, MulDiv(258, dpi, 96)) << "client width at " << dpi << " dpi";
    EXPECT_EQ(client.bottom, MulDiv(191, dpi, 96)) << "client height at " << dpi << " dpi";
    EXPECT_TEXT(p.text(p.control(p.form2(), ids::Form2Label1)), L"Tehditler:");
    EXPECT_TEXT(p.text(p.control(p.form2(), ids::Form2Command1)), L"Listeyi Temizle");
    EXPECT_TEXT(p.text(p.control(p.form2(), ids::Form2Command2)), L"Kapat");
    EXPECT_LINES(p.listLines(), {L"C:\\logged.txt"});

    // Showing it again while it is open keeps its lines; a new detection goes to the bottom.
    p.clickMain(ids::Form1Command2);
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\logged.txt"));
    EXPECT_LINES(p.listLines(), {L"C:\\logged.txt", L"C:\\logged.txt"});
    EXPECT_TRUE(shown(p));

    // "Listeyi Temizle" empties it without a word, also when it is empty already.
    p.clickDetections(ids::Form2Command1);
    EXPECT_TRUE(p.waitForLines({}));
    p.clickDetections(ids::Form2Command1);
    EXPECT_TRUE(p.expectNoMessageBoxFor(1500ms));
    EXPECT_TRUE(shown(p));
    EXPECT_LINES(p.listLines(), {});

    // The cleared list takes new lines.
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\Explorer.exe"));
    EXPECT_LINES(p.listLines(), {L"C:\\Explorer.exe"});

    // "Kapat" discards the window with its list.
    p.clickDetections(ids::Form2Command2);
    ASSERT_TRUE(waitFor([&] { return gone(p); }, kReactWithin)) << "\"Kapat\" left the window\n" << p.describe();

    // Shown again, it starts empty.
    p.clickMain(ids::Form1Command2);
    ASSERT_TRUE(waitFor([&] { return shown(p); }, kReactWithin)) << p.describe();
    HWND list = p.control(p.form2(), ids::Form2List1);
    ASSERT_NE(list, nullptr);
    DWORD_PTR count = 99;
    ASSERT_TRUE(SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 3000, &count));
    EXPECT_EQ(count, 0u) << "the list of a closed window came back";

    // Closed again, the next detection loads a fresh hidden window that holds only that line.
    p.clickDetections(ids::Form2Command2);
    ASSERT_TRUE(waitFor([&] { return gone(p); }, kReactWithin));
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\ActivexDebugger32.exe"));
    ASSERT_NE(p.form2(), nullptr);
    EXPECT_FALSE(IsWindowVisible(p.form2()));
    EXPECT_LINES(p.listLines(), {L"C:\\ActivexDebugger32.exe"});
    EXPECT_TRUE(IsWindowVisible(p.form1()));
}

TEST_F(DetectionsWindow, CloseBoxDiscardsItsListLikeKapat) {
    Program& p = program();
    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\amvo.dll"));

    // The close box through the window menu.
    p.clickMain(ids::Form1Command2);
    ASSERT_TRUE(waitFor([&] { return shown(p); }, kReactWithin)) << p.describe();
    EXPECT_LINES(p.listLines(), {L"C:\\amvo.dll"});
    PostMessageW(p.form2(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(waitFor([&] { return gone(p); }, kReactWithin)) << "SC_CLOSE left the window\n" << p.describe();
    EXPECT_TRUE(p.expectNoMessageBoxFor(1000ms));

    ASSERT_NO_FATAL_FAILURE(detect(p, L"C:\\svchost.dll"));
    ASSERT_NE(p.form2(), nullptr);
    EXPECT_FALSE(IsWindowVisible(p.form2()));
    EXPECT_LINES(p.listLines(), {L"C:\\svchost.dll"});

    // The close request itself.
    p.clickMain(ids::Form1Command2);
    ASSERT_TRUE(waitFor([&] { return shown(p); }, kReactWithin)) << p.describe();
    EXPECT_LINES(p.listLines(), {L"C:\\svchost.dll"});
    PostMessageW(p.form2(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(waitFor([&] { return gone(p); }, kReactWithin)) << "WM_CLOSE left the window\n" << p.describe();

    p.clickMain(ids::Form1Command2);
    ASSERT_TRUE(waitFor([&] { return shown(p); }, kReactWithin)) << p.describe();
    EXPECT_TRUE(p.waitForLines({}));
    // The main window stays, and the program runs on.
    EXPECT_TRUE(IsWindowVisible(p.form1()));
    EXPECT_TRUE(p.alive());
}

}  // namespace
}  // namespace dva::e2e
