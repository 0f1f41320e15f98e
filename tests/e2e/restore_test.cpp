// "/restore": a file kept in the quarantine, staged by hand as the program keeps one (named by its
// SHA-256, one index.tsv line), put back by the real program with its marks and time; refused over
// an existing file; written into a folder given with blanks in its name. No window, an exit code
// and a line on the standard output.
#include <windows.h>
#include <shlobj.h>

#include <cwctype>
#include <string>

#include "driver.h"
#include "stick/quarantine.h"
#include "stick/sha256.h"

namespace dva::e2e {
namespace {

const std::wstring kStaged = L"C:\\dva-restore";
const std::wstring kOriginal = kStaged + L"\\Ağ sürücüsü.exe";
const std::wstring kOtherFolder = kStaged + L"\\Geri Alınan Dosyalar";
const std::string kBytes = "MZ\x90 a worm once, now the user's own file";

struct ProgramRun {
    DWORD exitCode = 99;
    std::string output;
};

// The program with these arguments, its standard output a file, as a script would give it.
ProgramRun runProgram(const std::wstring& arguments) {
    const std::wstring outFile = kStaged + L"\\out.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE out = CreateFileW(outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(out, INVALID_HANDLE_VALUE);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out;
    PROCESS_INFORMATION pi{};
    std::wstring line = L"\"" + programFile() + L"\" " + arguments;
    ProgramRun run;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "could not start " << utf8(line) << " (error " << GetLastError() << ")";
    } else {
        CloseHandle(pi.hThread);
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0) << utf8(line) << " did not end";
        GetExitCodeProcess(pi.hProcess, &run.exitCode);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(out);
    const HANDLE in = CreateFileW(outFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[4096];
    DWORD got = 0;
    if (in != INVALID_HANDLE_VALUE && ReadFile(in, buffer, sizeof buffer, &got, nullptr)) run.output.assign(buffer, got);
    CloseHandle(in);
    DeleteFileW(outFile.c_str());
    return run;
}

std::string contentOf(const std::wstring& path) {
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes(4096, '\0');
    DWORD got = 0;
    if (h == INVALID_HANDLE_VALUE || !ReadFile(h, bytes.data(), 4096, &got, nullptr)) got = 0;
    CloseHandle(h);
    return bytes.substr(0, got);
}

std::uint64_t writeTimeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
}

bool writeFile(const std::wstring& path, std::string_view bytes) {
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool ok = h != INVALID_HANDLE_VALUE && WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(h);
    return ok;
}

// The quarantine the program uses: ProgramData's for an elevated start, as the tests run.
class Restore : public ::testing::Test {
protected:
    void SetUp() override {
        product = knownFolder(testRunsElevated() ? FOLDERID_ProgramData : FOLDERID_LocalAppData) + L"\\Dravonil Veriz Avize";
        quarantine = product + L"\\quarantine";
        productWasThere = exists(product);
        CreateDirectoryW(product.c_str(), nullptr);
        CreateDirectoryW(quarantine.c_str(), nullptr);
        CreateDirectoryW(kStaged.c_str(), nullptr);
        stick::Sha256 sha;
        sha.update(std::as_bytes(std::span(kBytes)));
        hash = stick::Sha256::hex(sha.finish());
        ASSERT_FALSE(exists(quarantine + L"\\" + hash)) << "the quarantine already keeps the test's file";
        ASSERT_TRUE(writeFile(quarantine + L"\\" + hash, kBytes));
        indexHadBytes = contentOf(quarantine + L"\\index.tsv");
        // Hidden, system, read-only and archive, as a worm's file on a stick; its times a while ago.
        facts = {kBytes.size(), 0x27, 0, 131'000'000'000'000'000, 132'000'000'000'000'000, 133'000'000'000'000'000};
        const std::string line = stick::indexLine(134'412'561'690'000'000, kOriginal, {0x1234ABCD, L"STICK"}, facts, hash);
        ASSERT_TRUE(writeFile(quarantine + L"\\index.tsv", indexHadBytes + line));
    }
    void TearDown() override {
        DeleteFileW((quarantine + L"\\" + hash).c_str());
        if (indexHadBytes.empty()) {
            DeleteFileW((quarantine + L"\\index.tsv").c_str());
        } else {
            writeFile(quarantine + L"\\index.tsv", indexHadBytes);
        }
        if (!productWasThere) {
            RemoveDirectoryW(quarantine.c_str());
            RemoveDirectoryW(product.c_str());
        }
        // What was put back may be read-only, which removePath does not clear below the folder.
        SetFileAttributesW(kOriginal.c_str(), FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesW((kOtherFolder + kOriginal.substr(kStaged.size())).c_str(), FILE_ATTRIBUTE_NORMAL);
        removePath(kStaged);
    }
    std::wstring product, quarantine, hash;
    bool productWasThere = false;
    std::string indexHadBytes;
    stick::FileFacts facts;
};

TEST_F(Restore, PutsTheFileBackWithItsMarksAndTimeNeverOverAnExistingOne) {
    // The hash as a user may copy it, in capitals.
    std::wstring upper = hash;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    const ProgramRun restored = runProgram(L"/restore " + upper);
    EXPECT_EQ(restored.exitCode, 0u) << restored.output;
    EXPECT_EQ(restored.output, "Geri yüklendi: " + utf8(hash) + " -> " + utf8(kOriginal) + "\r\n");
    EXPECT_EQ(contentOf(kOriginal), kBytes);
    EXPECT_EQ(attributes(kOriginal) & 0x7u, 0x7u) << "hidden, system and read-only";
    EXPECT_EQ(writeTimeOf(kOriginal), facts.written);
    EXPECT_EQ(contentOf(quarantine + L"\\" + hash), kBytes) << "the quarantine keeps its copy";

    // Again: the file there now is not written over.
    SetFileAttributesW(kOriginal.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(writeFile(kOriginal, "the user's newer file"));
    const std::uint64_t newer = writeTimeOf(kOriginal);
    const ProgramRun refused = runProgram(L"/restore " + hash);
    EXPECT_EQ(refused.exitCode, 4u) << refused.output;
    EXPECT_EQ(refused.output, "Hedefte zaten bir dosya var, üzerine yazılmadı: " + utf8(kOriginal) + "\r\n");
    EXPECT_EQ(contentOf(kOriginal), "the user's newer file");
    EXPECT_EQ(writeTimeOf(kOriginal), newer);

    // Into a folder of the user's choosing, its name quoted for its blanks.
    ASSERT_TRUE(CreateDirectoryW(kOtherFolder.c_str(), nullptr));
    const ProgramRun elsewhere = runProgram(L"/restore " + hash + L" \"" + kOtherFolder + L"\"");
    EXPECT_EQ(elsewhere.exitCode, 0u) << elsewhere.output;
    const std::wstring there = kOtherFolder + L"\\Ağ sürücüsü.exe";
    EXPECT_EQ(elsewhere.output, "Geri yüklendi: " + utf8(hash) + " -> " + utf8(there) + "\r\n");
    EXPECT_EQ(contentOf(there), kBytes);

    // A hash the quarantine never kept, and no hash at all.
    const ProgramRun unknown = runProgram(L"/restore " + std::wstring(64, L'0'));
    EXPECT_EQ(unknown.exitCode, 3u);
    EXPECT_EQ(unknown.output, "Karantinada bu özet yok: " + std::string(64, '0') + "\r\n");
    const ProgramRun usage = runProgram(L"/restore");
    EXPECT_EQ(usage.exitCode, 2u);
    EXPECT_EQ(usage.output.rfind("Kullanım: ", 0), 0u) << usage.output;
}

}  // namespace
}  // namespace dva::e2e
