// AutoRun protection: ticking "AutoRun Koruması Aktifleştir" replaces a root C:\AutoRun.inf file by
// a folder of that name; unticking deletes such a file.
#include "control_ids.h"
#include "driver.h"

namespace dva::e2e {
namespace {

const std::wstring kAutoRun = L"C:\\AutoRun.inf";
constexpr wchar_t kFound[] = L"AutoRun Korumasını etkileyecek bir virüs tespit edildi!";
constexpr wchar_t kProtected[] = L"Virüs Temizlenerek koruma oluşturuldu!";
constexpr wchar_t kReleased[] = L"Autorun Koruması Pasifleştirildi";

bool isFolder(const std::wstring& path) { return exists(path) && (attributes(path) & FILE_ATTRIBUTE_DIRECTORY); }
bool isFile(const std::wstring& path) { return exists(path) && !isFolder(path); }

class AutoRunProtection : public ProgramTest {
protected:
    // The running scan would delete the root file itself: off, only the switch acts on it.
    void scanOff() {
        program().clickMain(ids::main::protection);
        ASSERT_TRUE(program().expectBox(L"Bilgilendirme", L"Anlık koruma pasifleştirilmiştir!", kReactWithin));
    }

    void clickAutoRun(int expectedState) {
        program().clickMain(ids::main::autorun);
        EXPECT_TRUE(waitFor([&] { return program().checkState(ids::main::autorun) == expectedState; }, kReactWithin))
            << "the AutoRun switch did not change";
    }

    // A click on the switch that must show nothing, list nothing and leave drive C as it was.
    void expectClickDoesNothing(int expectedState, const std::string& what) {
        const DWORD before = attributes(kAutoRun);
        const auto lines = program().listLines();
        clickAutoRun(expectedState);
        EXPECT_TRUE(program().expectNoMessageBoxFor(kNothingFor)) << what;
        EXPECT_EQ(attributes(kAutoRun), before) << what << ": C:\\AutoRun.inf changed";
        EXPECT_EQ(program().listLines(), lines) << what << ": something was listed";
    }
};

TEST_F(AutoRunProtection, ReplacesAndDeletesOnlyAPlainRootFile) {
    Program& p = program();
    ASSERT_NO_FATAL_FAILURE(scanOff());
    for (DWORD attrs : {DWORD{0}, DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM}}) {
        const std::string what = !attrs ? "no file" : attrs == FILE_ATTRIBUTE_HIDDEN ? "a hidden file" : "a system file";
        if (attrs) placeFile(kAutoRun, attrs);
        expectClickDoesNothing(BST_CHECKED, "ticking with " + what);
        expectClickDoesNothing(BST_UNCHECKED, "unticking with " + what);
        EXPECT_EQ(isFile(kAutoRun), attrs != 0) << what;
    }
    EXPECT_EQ(p.detectionsWindow(), nullptr);

    // A read-only file is replaced as well.
    placeFile(kAutoRun, FILE_ATTRIBUTE_READONLY);
    clickAutoRun(BST_CHECKED);
    // The warning comes while the file is still there and nothing is listed.
    const auto warning = p.waitForBox(L"Virüs Bulundu!", kFound, kReactWithin);
    ASSERT_TRUE(warning.has_value());
    EXPECT_TRUE(isFile(kAutoRun)) << "the file was touched before the warning was closed";
    EXPECT_TRUE(p.listLines().empty()) << "listed before the warning was closed";
    p.close(*warning);
    // The information comes once the path is listed and the file has become a folder.
    const auto done = p.waitForBox(L"Bilgilendirme", kProtected, kReactWithin);
    ASSERT_TRUE(done.has_value());
    EXPECT_LINES(p.listLines(), {kAutoRun});
    EXPECT_TRUE(isFolder(kAutoRun)) << "no folder in place of the file when the information came";
    p.close(*done);
    EXPECT_TRUE(p.expectNoMessageBoxFor(kNothingFor));
    ASSERT_NE(p.detectionsWindow(), nullptr);
    EXPECT_FALSE(IsWindowVisible(p.detectionsWindow())) << "the AutoRun switch showed the detections window";

    // With only the folder there, the switch leaves it alone both ways.
    expectClickDoesNothing(BST_UNCHECKED, "unticking with the folder in place");
    expectClickDoesNothing(BST_CHECKED, "ticking with the folder in place");
    EXPECT_TRUE(isFolder(kAutoRun));

    // With a file back in place, unticking deletes it without listing it.
    removePath(kAutoRun);
    placeFile(kAutoRun);
    clickAutoRun(BST_UNCHECKED);
    const auto released = p.waitForBox(L"Bilgilendirme", kReleased, kReactWithin);
    ASSERT_TRUE(released.has_value());
    EXPECT_FALSE(exists(kAutoRun)) << "the file was not deleted before the information";
    p.close(*released);
    EXPECT_TRUE(p.expectNoMessageBoxFor(Ms{800}));
    EXPECT_FALSE(exists(kAutoRun)) << "something was made in place of the file";
    EXPECT_LINES(p.listLines(), {kAutoRun});
}

// A file the scan has listed is listed again by the switch; a locked one is reported.
TEST_F(AutoRunProtection, ListsWhatTheScanListedAgainAndReportsALockedFile) {
    Program& p = program();
    placeFile(kAutoRun);
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({kAutoRun}));
    EXPECT_TRUE(waitFor([] { return !exists(kAutoRun); }, kReactWithin)) << "the scan left it";

    ASSERT_NO_FATAL_FAILURE(scanOff());
    placeFile(kAutoRun);
    const auto lock = holdOpen(kAutoRun);
    ASSERT_TRUE(lock) << "could not open C:\\AutoRun.inf (error " << GetLastError() << ")";
    clickAutoRun(BST_CHECKED);
    EXPECT_TRUE(p.expectBox(L"Virüs Bulundu!", kFound, kReactWithin));
    const auto error = p.waitForMessageBox(kReactWithin);
    ASSERT_TRUE(error.has_value());
    EXPECT_TEXT(error->title, L"Hata");
    const std::wstring lead = L"Tehdit dosyası silinemedi: C:\\AutoRun.inf\n";
    EXPECT_TEXT(error->text.substr(0, lead.size()), lead);
    EXPECT_GT(error->text.size(), lead.size()) << "the error box gives no reason";
    EXPECT_LINES(p.listLines(), {kAutoRun, kAutoRun});
    p.close(*error);
    // One box for the failure: no folder, no success message, and the program keeps running.
    EXPECT_TRUE(p.expectNoMessageBoxFor(kNothingFor));
    EXPECT_TRUE(p.alive());
    EXPECT_TRUE(isFile(kAutoRun));
    EXPECT_LINES(p.listLines(), {kAutoRun, kAutoRun});
}

}  // namespace
}  // namespace dva::e2e
