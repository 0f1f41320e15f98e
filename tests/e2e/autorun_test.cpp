// AutoRun protection: the switch "AutoRun Koruması Aktifleştir" replaces a root C:\AutoRun.inf by
// a folder of that name when ticked, and deletes such a file when unticked.
#include <string>

#include "control_ids.h"
#include "driver.h"

namespace dva::e2e {
namespace {

const std::wstring kAutoRun = L"C:\\AutoRun.inf";
constexpr wchar_t kFound[] = L"AutoRun Korumasını etkileyecek bir virüs tespit edildi!";
constexpr wchar_t kProtected[] = L"Virüs Temizlenerek koruma oluşturuldu!";
constexpr wchar_t kReleased[] = L"Autorun Koruması Pasifleştirildi";
// How long a click that must do nothing is watched.
constexpr Ms kNothingFor{1500};

bool isFolder(const std::wstring& path) {
    const DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool isFile(const std::wstring& path) {
    const DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// An open handle to a file that others may read and write but not delete.
class HeldOpen {
public:
    explicit HeldOpen(const std::wstring& path)
        : h_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldOpen() { release(); }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    bool held() const { return h_ != INVALID_HANDLE_VALUE; }
    void release() {
        if (held()) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_;
};

class AutoRunProtection : public ProgramTest {
protected:
    // The running scan deletes a root autorun file on each tick: it is switched off first, so
    // that only the AutoRun switch acts on the file.
    void scanOff() {
        program().clickMain(ids::Form1Check2);
        ASSERT_TRUE(program().expectBox(L"Bilgilendirme", L"Anlık koruma pasifleştirilmiştir!", kReactWithin));
        ASSERT_EQ(program().checkState(ids::Form1Check2), BST_UNCHECKED);
    }

    void clickAutoRun(int expectedState) {
        program().clickMain(ids::Form1Check1);
        EXPECT_TRUE(waitFor([&] { return program().checkState(ids::Form1Check1) == expectedState; }, kReactWithin))
            << "the AutoRun switch did not change";
    }

    // A click on the switch that must show nothing and leave drive C as it was.
    void expectClickDoesNothing(int expectedState, const char* what) {
        const DWORD before = attributes(kAutoRun);
        clickAutoRun(expectedState);
        EXPECT_TRUE(program().expectNoMessageBoxFor(kNothingFor)) << what;
        EXPECT_EQ(attributes(kAutoRun), before) << what << ": C:\\AutoRun.inf changed";
        EXPECT_TRUE(program().listLines().empty()) << what << ": something was listed";
    }
};

TEST_F(AutoRunProtection, TickingReplacesTheRootFileByAFolderAndSaysSo) {
    Program& p = program();
    ASSERT_NO_FATAL_FAILURE(scanOff());
    placeFile(kAutoRun);
    clickAutoRun(BST_CHECKED);

    // First the warning, while the file is still there and nothing is listed.
    const auto warning = p.waitForMessageBox(kReactWithin);
    ASSERT_TRUE(warning.has_value());
    EXPECT_TEXT(warning->title, L"Virüs Bulundu!");
    EXPECT_TEXT(warning->text, kFound);
    EXPECT_TRUE(isFile(kAutoRun)) << "the file was touched before the warning was closed";
    EXPECT_TRUE(p.listLines().empty()) << "listed before the warning was closed";
    p.close(*warning);

    // Then the information, once the path is listed and the file has become a folder.
    const auto done = p.waitForMessageBox(kReactWithin);
    ASSERT_TRUE(done.has_value());
    EXPECT_TEXT(done->title, L"Bilgilendirme");
    EXPECT_TEXT(done->text, kProtected);
    EXPECT_LINES(p.listLines(), {kAutoRun});
    EXPECT_TRUE(isFolder(kAutoRun)) << "no folder in place of the file when the information came";
    p.close(*done);

    EXPECT_TRUE(p.expectNoMessageBoxFor(kNothingFor));
    EXPECT_TRUE(isFolder(kAutoRun));
    EXPECT_LINES(p.listLines(), {kAutoRun});
    ASSERT_NE(p.form2(), nullptr);
    EXPECT_FALSE(IsWindowVisible(p.form2())) << "the detections window was shown by the AutoRun switch";
    EXPECT_EQ(p.checkState(ids::Form1Check1), BST_CHECKED);
}

TEST_F(AutoRunProtection, ANonWritableRootFileIsReplacedToo) {
    Program& p = program();
    ASSERT_NO_FATAL_FAILURE(scanOff());
    placeFile(kAutoRun, FILE_ATTRIBUTE_READONLY);
    clickAutoRun(BST_CHECKED);
    EXPECT_TRUE(p.expectBox(L"Virüs Bulundu!", kFound, kReactWithin));
    EXPECT_TRUE(p.expectBox(L"Bilgilendirme", kProtected, kReactWithin));
    EXPECT_TRUE(isFolder(kAutoRun));
    EXPECT_LINES(p.listLines(), {kAutoRun});
}

TEST_F(AutoRunProtection, NothingToDoWithoutARootFile) {
    Program& p = program();
    ASSERT_NO_FATAL_FAILURE(scanOff());
    // Nothing there: ticking and unticking show nothing and make nothing.
    expectClickDoesNothing(BST_CHECKED, "ticking with no file");
    EXPECT_FALSE(exists(kAutoRun)) << "a folder was made with no file to replace";
    expectClickDoesNothing(BST_UNCHECKED, "unticking with no file");
    EXPECT_EQ(p.form2(), nullptr);

    // The folder already in place: the switch leaves it alone both ways.
    placeFolder(kAutoRun);
    expectClickDoesNothing(BST_CHECKED, "ticking with the folder in place");
    expectClickDoesNothing(BST_UNCHECKED, "unticking with the folder in place");
    EXPECT_TRUE(isFolder(kAutoRun));
    EXPECT_EQ(p.form2(), nullptr);
}

TEST_F(AutoRunProtection, UntickingDeletesARootFileWithoutListingIt) {
    Program& p = program();
    ASSERT_NO_FATAL_FAILURE(scanOff());
    for (DWORD attrs : {DWORD{0}, DWORD{FILE_ATTRIBUTE_READONLY}}) {
        SCOPED_TRACE(attrs ? "read-only file" : "plain file");
        expectClickDoesNothing(BST_CHECKED, "ticking with no file");
        placeFile(kAutoRun, attrs);
        clickAutoRun(BST_UNCHECKED);
        const auto box = p.waitForMessageBox(kReactWithin);
        ASSERT_TRUE(box.has_value());
        EXPECT_TEXT(box->title, L"Bilgilendirme");
        EXPECT_TEXT(box->text, kReleased);
        EXPECT_FALSE(exists(kAutoRun)) << "the file was not deleted before the information";
        p.close(*box);
        EXPECT_TRUE(p.expectNoMessageBoxFor(Ms{800}));
        EXPECT_FALSE(exists(kAutoRun)) << "something was made in place of the file";
        EXPECT_EQ(p.form2(), nullptr) << "the file was listed";
    }
}

TEST_F(AutoRunProtection, HiddenOrSystemRootFileIsLeftAlone) {
    Program& p = program();
    ASSERT_NO_FATAL_FAILURE(scanOff());
    for (DWORD attrs : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM}}) {
        SCOPED_TRACE(attrs == FILE_ATTRIBUTE_HIDDEN ? "hidden file" : "system file");
        placeFile(kAutoRun, attrs);
        const DWORD placed = attributes(kAutoRun);
        expectClickDoesNothing(BST_CHECKED, "ticking");
        expectClickDoesNothing(BST_UNCHECKED, "unticking");
        EXPECT_EQ(attributes(kAutoRun), placed);
        EXPECT_TRUE(isFile(kAutoRun));
    }
    EXPECT_EQ(p.form2(), nullptr);
}

TEST_F(AutoRunProtection, ALockedRootFileIsReportedAndTheProgramCarriesOn) {
    Program& p = program();
    ASSERT_NO_FATAL_FAILURE(scanOff());
    placeFile(kAutoRun);
    HeldOpen lock(kAutoRun);
    ASSERT_TRUE(lock.held()) << "could not open C:\\AutoRun.inf (error " << GetLastError() << ")";

    clickAutoRun(BST_CHECKED);
    EXPECT_TRUE(p.expectBox(L"Virüs Bulundu!", kFound, kReactWithin));
    const auto error = p.waitForMessageBox(kReactWithin);
    ASSERT_TRUE(error.has_value());
    EXPECT_TEXT(error->title, L"Hata");
    const std::wstring lead = L"Tehdit dosyası silinemedi: C:\\AutoRun.inf\n";
    EXPECT_TEXT(error->text.substr(0, lead.size()), lead);
    EXPECT_GT(error->text.size(), lead.size()) << "the error box gives no reason";
    EXPECT_LINES(p.listLines(), {kAutoRun});
    EXPECT_TRUE(isFile(kAutoRun));
    p.close(*error);

    // One box for the failure, no folder, no success message, and the program keeps running.
    EXPECT_TRUE(p.expectNoMessageBoxFor(kNothingFor));
    EXPECT_TRUE(p.alive());
    EXPECT_TRUE(isFile(kAutoRun));
    EXPECT_LINES(p.listLines(), {kAutoRun});
    EXPECT_EQ(p.checkState(ids::Form1Check1), BST_CHECKED);

    // Once the file is free again, unticking removes it as usual.
    lock.release();
    clickAutoRun(BST_UNCHECKED);
    EXPECT_TRUE(p.expectBox(L"Bilgilendirme", kReleased, kReactWithin));
    EXPECT_FALSE(exists(kAutoRun));
}

TEST_F(AutoRunProtection, ScanAndSwitchEachListTheFile) {
    Program& p = program();
    // With the scan running, a root autorun file is reported, listed and deleted, but no folder made.
    placeFile(kAutoRun);
    EXPECT_TRUE(p.expectAlert());
    EXPECT_TRUE(p.waitForLines({kAutoRun}));
    EXPECT_TRUE(waitFor([] { return !exists(kAutoRun); }, kReactWithin));

    // Placed again with the scan off, the switch finds it and lists it a second time.
    ASSERT_NO_FATAL_FAILURE(scanOff());
    placeFile(kAutoRun);
    clickAutoRun(BST_CHECKED);
    EXPECT_TRUE(p.expectBox(L"Virüs Bulundu!", kFound, kReactWithin));
    const auto done = p.waitForMessageBox(kReactWithin);
    ASSERT_TRUE(done.has_value());
    EXPECT_TEXT(done->text, kProtected);
    EXPECT_LINES(p.listLines(), {kAutoRun, kAutoRun});
    p.close(*done);
    EXPECT_TRUE(isFolder(kAutoRun));

    // The scan, switched on again, does not take the folder for a threat.
    p.clickMain(ids::Form1Check2);
    ASSERT_TRUE(p.expectBox(L"Bilgilendirme", L"Anlık koruma aktifleştirilmiştir!", kReactWithin));
    EXPECT_TRUE(p.expectNoMessageBoxFor(Ms{2500}));
    EXPECT_TRUE(isFolder(kAutoRun));
    EXPECT_LINES(p.listLines(), {kAutoRun, kAutoRun});
}

}  // namespace
}  // namespace dva::e2e
