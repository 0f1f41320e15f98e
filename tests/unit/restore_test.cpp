// Putting a file back from the quarantine: the index read back as indexLine writes it, the hash
// and the destination, and the restore as a trace of a recording port: a new file, never over an
// existing one, and nothing left behind when a step fails.
#include "stick/restore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <functional>
#include <map>
#include <tuple>

#include "fake_runtime.h"
#include "stick/quarantine.h"
#include "stick/sha256.h"

namespace dva::stick {
namespace {

using test::Trace;
using test::utf8;

std::wstring hashOf(std::string_view bytes) {
    Sha256 hash;
    hash.update(std::as_bytes(std::span(bytes)));
    return Sha256::hex(hash.finish());
}

const std::string kBytes = "MZ worm";
const std::wstring kHash = hashOf(kBytes);
const VolumeIdentity kStick{0x1234ABCD, L"KİNGSTON"};
// 2026-12-09T02:16:09Z, and times a second or more apart for the file.
constexpr std::uint64_t kNow = 134412561690000000;
const FileFacts kFacts{7, 0x23, 99, 134000000000000000, 134100000000000000, 134200000000000000};

std::string lineFor(std::wstring_view path, std::wstring_view hash, const FileFacts& facts = kFacts) {
    return indexLine(kNow, path, kStick, facts, hash);
}

// The quarantine (index and kept files) and the destination's file system, with a trace of every
// call that opens, writes or deletes: "open <hash>", "create E:\x", "write E:\x 7", "discard E:\x".
class FakeRestorePort : public RestorePort {
public:
    struct Made {
        std::string bytes;
        std::uint32_t attributes = 0;
        std::uint64_t created = 0, accessed = 0, written = 0;
        bool operator==(const Made&) const = default;
    };
    std::string index;
    bool noIndex = false;
    std::map<std::wstring, std::string, std::less<>> kept;
    std::map<std::wstring, Made, std::less<>> files;  // the destination side, by path
    std::map<std::string, std::uint32_t, std::less<>> failing;  // a call's scripted error, by its trace name
    Trace trace;

    bool allClosed() const { return open_.empty(); }

    OpResult readIndex(std::string& utf8Text) override {
        trace.push_back("index");
        if (const OpResult failure = scripted("index"); !failure.ok()) return failure;
        if (noIndex) return {kErrorFileNotFound};
        utf8Text = index;
        return {};
    }
    OpResult openKept(std::wstring_view name, PortFile& file) override {
        trace.push_back("open " + utf8(name));
        if (const OpResult failure = scripted("open"); !failure.ok()) return failure;
        if (kept.count(name) == 0) return {kErrorFileNotFound};
        file = remember({std::wstring(name), true});
        return {};
    }
    OpResult read(PortFile file, std::span<std::byte> into, std::size_t& got) override {
        Open& open = open_.at(file.id);
        const std::string& bytes = kept.at(open.name);
        got = std::min(into.size(), bytes.size() - open.position);
        if (got == 0) return {};
        trace.push_back("read " + std::to_string(got));
        if (const OpResult failure = scripted(open.reads++ == 0 ? "read" : "reread"); !failure.ok()) return failure;
        std::memcpy(into.data(), bytes.data() + open.position, got);
        open.position += got;
        return {};
    }
    OpResult rewind(PortFile file) override {
        trace.push_back("rewind");
        open_.at(file.id).position = 0;
        return scripted("rewind");
    }
    OpResult createNew(std::wstring_view path, PortFile& file) override {
        trace.push_back("create " + utf8(path));
        if (const OpResult failure = scripted("create"); !failure.ok()) return failure;
        if (files.count(path) != 0) return {80};
        files[std::wstring(path)];
        file = remember({std::wstring(path), false});
        return {};
    }
    OpResult write(PortFile file, std::span<const std::byte> bytes) override {
        const Open& open = open_.at(file.id);
        trace.push_back("write " + utf8(open.name) + " " + std::to_string(bytes.size()));
        if (const OpResult failure = scripted("write"); !failure.ok()) return failure;
        files.at(open.name).bytes.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return {};
    }
    OpResult flush(PortFile file) override {
        trace.push_back("flush " + utf8(open_.at(file.id).name));
        return scripted("flush");
    }
    OpResult setFacts(PortFile file, std::uint32_t attributes, std::uint64_t created, std::uint64_t accessed,
                      std::uint64_t written) override {
        const Open& open = open_.at(file.id);
        trace.push_back("facts " + utf8(open.name));
        if (const OpResult failure = scripted("facts"); !failure.ok()) return failure;
        Made& made = files.at(open.name);
        made.attributes = attributes;
        made.created = created;
        made.accessed = accessed;
        made.written = written;
        return {};
    }
    void discard(PortFile file) override {
        trace.push_back("discard " + utf8(open_.at(file.id).name));
        files.erase(open_.at(file.id).name);
        open_.erase(file.id);
    }
    void close(PortFile file) override {
        if (!file) return;
        trace.push_back("close " + utf8(open_.at(file.id).name));
        open_.erase(file.id);
    }

private:
    struct Open {
        std::wstring name;
        bool kept = false;
        std::size_t position = 0;
        int reads = 0;  // the first pass reads the kept file through; the copy rereads it
    };
    OpResult scripted(std::string_view call) const {
        const auto it = failing.find(call);
        return it == failing.end() ? OpResult{} : OpResult{it->second};
    }
    PortFile remember(Open open) {
        open_[++next_] = std::move(open);
        return {next_};
    }
    std::map<std::uint64_t, Open> open_;
    std::uint64_t next_ = 0;
};

// ---- the index, the hash and the destination ----

TEST(RestoreIndex, TheLastWellFormedLineOfTheHashAmidJunkAndEitherLineEnd) {
    const std::wstring other = hashOf("other");
    std::string first = lineFor(L"E:\\RavMon.exe", kHash);
    FileFacts later = kFacts;
    later.attributes = 0x06;
    std::string last = lineFor(L"F:\\Ağ klasörü\\amvo.exe", kHash, later);
    last.erase(last.size() - 2, 1);  // LF alone
    const std::string index = "\xEF\xBB\xBFjunk\r\n\r\n\n" + first + "\t\t\t\r\n" + lineFor(L"E:\\x.exe", other) +
                              "half\tline\r\n" + last + "\xFF\xFE\r\n" + first.substr(0, 40) + "\r\n" +
                              "not\tutf8 \xC3\x28\t1234-ABCD\t\t7\t00000002\t1601-01-01T00:00:00Z\t"
                              "1601-01-01T00:00:00Z\t1601-01-01T00:00:00Z\t" +
                              utf8(kHash) + "\r\n";
    const auto found = findInIndex(index, kHash);
    ASSERT_TRUE(found);
    EXPECT_EQ(utf8(found->originalPath), "F:\\Ağ klasörü\\amvo.exe");
    EXPECT_EQ(std::tie(found->size, found->attributes, found->created, found->accessed, found->written),
              std::tie(later.size, later.attributes, later.created, later.accessed, later.written));
    EXPECT_EQ(found->hash, kHash);
    // The first line alone is found too, and a hash the index does not hold is not.
    EXPECT_EQ(findInIndex(first, kHash)->originalPath, L"E:\\RavMon.exe");
    EXPECT_FALSE(findInIndex(index, hashOf("never moved")));
    EXPECT_FALSE(findInIndex("", kHash));
    // Written by hand in capitals, the hash still matches.
    std::string upper = lineFor(L"E:\\RavMon.exe", kHash);
    for (std::size_t i = upper.size() - 66; i < upper.size(); ++i) upper[i] = static_cast<char>(std::toupper(upper[i]));
    EXPECT_TRUE(findInIndex(upper, kHash));
}

TEST(RestoreIndex, TimesReadBackAsWrittenAndMalformedOnesRefused) {
    for (const std::uint64_t time : {0ull, 10'000'000ull, 126'227'808'000'000'000ull /* 2001-01-01 */,
                                     134'412'561'690'000'000ull, 135'000'000'000'000'000ull /* 2028 */}) {
        EXPECT_EQ(fileTimeOf(utcText(time)), time) << utcText(time);
    }
    EXPECT_EQ(fileTimeOf("2024-02-29T23:59:59Z"), fileTimeOf("2024-03-01T00:00:00Z").value() - 10'000'000);
    for (const char* bad : {"", "2026-12-09 02:16:09Z", "2026-13-01T00:00:00Z", "2025-02-29T00:00:00Z",
                            "1600-12-31T23:59:59Z", "2026-12-09T24:00:00Z", "2026-12-09T02:16:09", "2026-1a-09T02:16:09Z"}) {
        EXPECT_FALSE(fileTimeOf(bad)) << bad;
    }
}

TEST(RestoreHash, SixtyFourHexDigitsInAnyCaseElseNothing) {
    const std::wstring upper = [] {
        std::wstring text = kHash;
        for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
        return text;
    }();
    EXPECT_EQ(normalHash(upper), kHash);
    EXPECT_EQ(normalHash(kHash), kHash);
    for (const std::wstring& bad : {std::wstring(), kHash.substr(1), kHash + L"0", L"g" + kHash.substr(1), L" " + kHash.substr(1),
                                    L"\u0660" + kHash.substr(1) /* Arabic-Indic zero */}) {
        EXPECT_FALSE(normalHash(bad)) << utf8(bad);
    }
}

TEST(RestoreDestination, TheOriginalPathOrItsNameInTheFolderGiven) {
    const struct {
        std::wstring_view original, folder, expected;
    } cases[] = {
        {L"E:\\RavMon.exe", L"", L"E:\\RavMon.exe"},
        {L"E:\\RECYCLER\\x.vmx", L"", L"E:\\RECYCLER\\x.vmx"},
        {L"E:\\RECYCLER\\x.vmx", L"C:\\Geri Alınan", L"C:\\Geri Alınan\\x.vmx"},
        {L"E:\\RavMon.exe", L"D:\\", L"D:\\RavMon.exe"},
        {L"E:\\RavMon.exe", L"\\\\sunucu\\pay\\", L"\\\\sunucu\\pay\\RavMon.exe"},
    };
    for (const auto& c : cases) EXPECT_EQ(restoreDestination(c.original, c.folder), c.expected) << utf8(c.folder);
}

// ---- the restore itself ----

class RestoreTest : public ::testing::Test {
protected:
    RestoreTest() {
        port.kept[kHash] = kBytes;
        port.index = lineFor(L"E:\\old.exe", kHash) + lineFor(L"E:\\RavMon.exe", kHash);
    }
    RestoreResult restore(std::wstring_view hash = kHash, std::wstring_view folder = {}) {
        return restoreFromQuarantine(port, runtime, hash, folder);
    }
    std::string report(const RestoreResult& result) { return utf8(restoreReport(result, runtime)); }
    FakeRestorePort port;
    test::FakeRuntime runtime;
};

TEST_F(RestoreTest, CheckedThenCopiedToANewFileWithItsAttributesAndTimesAndLogged) {
    std::wstring upper = kHash;
    upper[0] = static_cast<wchar_t>(std::towupper(upper[0]));
    upper[63] = static_cast<wchar_t>(std::towupper(upper[63]));
    const RestoreResult result = restore(upper);
    EXPECT_EQ(result.outcome, RestoreOutcome::Restored);
    const std::string h = utf8(kHash);
    EXPECT_EQ(port.trace, (Trace{"index", "open " + h, "read 7", "rewind", "create E:\\RavMon.exe", "read 7",
                                 "write E:\\RavMon.exe 7", "flush E:\\RavMon.exe", "facts E:\\RavMon.exe",
                                 "close E:\\RavMon.exe", "close " + h}));
    // Read-only, hidden, archive: as they were (0x23); the kept copy stays.
    EXPECT_EQ(port.files.at(L"E:\\RavMon.exe"),
              (FakeRestorePort::Made{kBytes, 0x23, kFacts.created, kFacts.accessed, kFacts.written}));
    EXPECT_EQ(port.kept.at(kHash), kBytes);
    EXPECT_TRUE(port.allClosed());
    EXPECT_EQ(runtime.takeEvents(), (Trace{"event 1012 " + h + "|E:\\RavMon.exe"}));
    EXPECT_EQ(report(result), "Geri yüklendi: " + h + " -> E:\\RavMon.exe");
    EXPECT_EQ(restoreExitCode(result.outcome), 0);

    // Into a folder, by the original name.
    port.trace.clear();
    EXPECT_EQ(restore(kHash, L"C:\\Geri").destination, L"C:\\Geri\\RavMon.exe");
    EXPECT_EQ(port.files.at(L"C:\\Geri\\RavMon.exe").bytes, kBytes);
}

// What the user is told when nothing is restored, and the exit code that tells the cases apart.
TEST_F(RestoreTest, RefusalsWriteNothingAndSayWhy) {
    const std::string h = utf8(kHash);
    using Stage = std::function<void(FakeRestorePort&)>;
    const struct {
        const char* name;
        Stage stage;
        std::wstring hash;
        RestoreOutcome outcome;
        int exitCode;
        std::string text;
    } cases[] = {
        {"not a hash", [](FakeRestorePort&) {}, L"abc", RestoreOutcome::Usage, 2,
         "Kullanım: \"Dravonil Veriz Avize.exe\" /restore <SHA-256> [<klasör>]\n"},
        {"not in the index", [](FakeRestorePort& p) { p.index = lineFor(L"E:\\x.exe", hashOf("x")) + "junk\r\n"; }, kHash,
         RestoreOutcome::NotInIndex, 3, "Karantinada bu özet yok: " + h},
        {"no index yet", [](FakeRestorePort& p) { p.noIndex = true; }, kHash, RestoreOutcome::NotInIndex, 3,
         "Karantinada bu özet yok: " + h},
        {"something at the destination", [](FakeRestorePort& p) { p.files[L"E:\\RavMon.exe"] = {"mine", 0x20}; }, kHash,
         RestoreOutcome::DestinationExists, 4, "Hedefte zaten bir dosya var, üzerine yazılmadı: E:\\RavMon.exe"},
        {"kept file not what its name says", [](FakeRestorePort& p) { p.kept[kHash] = "MZ w0rm"; }, kHash,
         RestoreOutcome::Failed, 5,
         "Karantinadaki dosyanın içeriği adındaki özetle uyuşmuyor (bozulmuş ya da değiştirilmiş); hiçbir şey "
         "yazılmadı: " + h},
        {"index unreadable", [](FakeRestorePort& p) { p.failing["index"] = 5; }, kHash, RestoreOutcome::Failed, 5,
         "Karantinanın dizini okunamadı: index.tsv\n" + test::reasonFor(5)},
        {"kept file gone", [](FakeRestorePort& p) { p.kept.clear(); }, kHash, RestoreOutcome::Failed, 5,
         "Karantinadaki dosya açılamadı: " + h + "\n" + test::reasonFor(2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRestorePort fresh = port;
        c.stage(fresh);
        const auto before = fresh.files;
        const RestoreResult result = restoreFromQuarantine(fresh, runtime, c.hash, {});
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(restoreExitCode(result.outcome), c.exitCode);
        EXPECT_EQ(report(result).substr(0, c.text.size()), c.text);
        EXPECT_EQ(fresh.files, before);
        EXPECT_TRUE(fresh.allClosed());
        EXPECT_TRUE(runtime.takeEvents().empty());
        for (const std::string& call : fresh.trace) EXPECT_NE(call.rfind("write", 0), 0u) << call;
    }
}

// A step that fails once the new file exists: the new file is deleted, the kept one stays, and
// nothing is logged.
TEST_F(RestoreTest, EachFailingStepLeavesNoPartialFile) {
    const std::string h = utf8(kHash);
    const std::string made = "E:\\RavMon.exe";
    const std::string tail = "discard " + made;
    const struct {
        const char* call;
        Trace trace;  // from "create" on
    } cases[] = {
        {"create", {"create " + made}},
        {"reread", {"create " + made, "read 7"}},
        {"write", {"create " + made, "read 7", "write " + made + " 7", tail}},
        {"flush", {"create " + made, "read 7", "write " + made + " 7", "flush " + made, tail}},
        {"facts", {"create " + made, "read 7", "write " + made + " 7", "flush " + made, "facts " + made, tail}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        FakeRestorePort fresh = port;
        fresh.failing[c.call] = 112;  // the disk is full
        const RestoreResult result = restoreFromQuarantine(fresh, runtime, kHash, {});
        EXPECT_EQ(result.outcome, RestoreOutcome::Failed);
        Trace expected = c.trace;
        if (std::string_view(c.call) == "reread") expected.push_back(tail);
        expected.push_back("close " + h);
        EXPECT_EQ(Trace(fresh.trace.begin() + 4, fresh.trace.end()), expected);
        EXPECT_TRUE(fresh.files.empty());
        EXPECT_EQ(fresh.kept.at(kHash), kBytes);
        EXPECT_TRUE(fresh.allClosed());
        EXPECT_TRUE(runtime.takeEvents().empty());
        EXPECT_EQ(report(result), "Geri yüklenemedi, yarım dosya bırakılmadı: " + made + "\n" + test::reasonFor(112));
    }
}

}  // namespace
}  // namespace dva::stick
