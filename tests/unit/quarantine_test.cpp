#include "stick/quarantine.h"

#include <gtest/gtest.h>

#include "fake_stick.h"
#include "stick/sha256.h"

namespace dva::stick {
namespace {

using test::Trace;
using test::utf8;

std::string sha256(std::string_view text, std::size_t chunk = 1000) {
    Sha256 hash;
    for (std::size_t at = 0; at < text.size(); at += chunk) hash.update(std::as_bytes(std::span(text.substr(at, chunk))));
    return utf8(Sha256::hex(hash.finish()));
}

TEST(Sha256Test, StandardVectorsInAnyChunking) {
    EXPECT_EQ(sha256(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    for (const std::size_t chunk : {1u, 7u, 56u, 64u}) {
        EXPECT_EQ(sha256(twoBlocks, chunk), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1") << chunk;
    }
    EXPECT_EQ(sha256(std::string(1'000'000, 'a'), 4093), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

const std::wstring kWorm = L"E:\\RavMon.exe";
const std::string kBytes = "MZ worm";
const std::string kHash = sha256(kBytes);
const VolumeIdentity kStick{0x1234ABCD, L"KİNGSTON"};

class QuarantineTest : public ::testing::Test {
protected:
    QuarantineTest() { port.addStickFile(kWorm, kBytes); }
    MoveResult move() { return moveToQuarantine(port, kWorm, kStick); }
    test::FakeStickPort port;
};

TEST_F(QuarantineTest, MovedCopyIsCheckedNamedByItsHashRecordedThenTheOriginalDeleted) {
    const MoveResult result = move();
    EXPECT_EQ(result.outcome, MoveOutcome::Moved);
    EXPECT_EQ(utf8(result.hash), kHash);
    EXPECT_EQ(port.trace, (Trace{"open E:\\RavMon.exe", "space", "create ~1", "read E:\\RavMon.exe 7", "write ~1 7", "flush ~1",
                                 "rewind ~1", "read ~1 7", "rename ~1 " + kHash, "index", "close " + kHash,
                                 "delete E:\\RavMon.exe", "close E:\\RavMon.exe"}));
    EXPECT_TRUE(port.stick.empty() && port.allClosed());
    EXPECT_EQ(port.quarantine, (std::map<std::wstring, std::string, std::less<>>{{result.hash, kBytes}}));
    EXPECT_EQ(port.index, std::vector<std::string>{"2026-12-09T02:16:09Z\tE:\\RavMon.exe\t1234-ABCD\tKİNGSTON\t7\t00000002\t"
                                                   "1601-01-01T00:00:00Z\t1601-01-01T00:00:00Z\t1601-01-01T00:00:00Z\t" +
                                                   kHash + "\r\n"});

    // The same bytes again: the kept copy stands, the new one goes, and the move is recorded.
    port.addStickFile(L"E:\\amvo.exe", kBytes);
    port.trace.clear();
    EXPECT_EQ(moveToQuarantine(port, L"E:\\amvo.exe", kStick).outcome, MoveOutcome::Moved);
    EXPECT_EQ(std::vector<std::string>(port.trace.begin() + 8, port.trace.end()),
              (Trace{"rename ~2 " + kHash, "discard ~2", "index", "delete E:\\amvo.exe", "close E:\\amvo.exe"}));
    EXPECT_EQ(port.quarantine.size(), 1u);
    EXPECT_EQ(port.index.size(), 2u);
}

TEST_F(QuarantineTest, AnyStepFailingKeepsTheOriginalAndLeavesNoTemporaryFile) {
    const struct {
        const char* call;  // "" with diskAltersCopies
        MoveStep step;
        std::uint32_t error;
    } cases[] = {
        {"open", MoveStep::Open, 32},     {"space", MoveStep::Space, 3},     {"create", MoveStep::CreateTemporary, 5},
        {"read", MoveStep::Read, 21},     {"write", MoveStep::Write, 112},   {"flush", MoveStep::Flush, 1117},
        {"rewind", MoveStep::Verify, 6},  {"reread", MoveStep::Verify, 23},  {"", MoveStep::Verify, 23},
        {"rename", MoveStep::Rename, 5},  {"index", MoveStep::Index, 112},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        test::FakeStickPort fresh;
        fresh.addStickFile(kWorm, kBytes);
        fresh.failing[c.call] = c.error;
        fresh.diskAltersCopies = std::string_view(c.call).empty();
        const MoveResult result = moveToQuarantine(fresh, kWorm, kStick);
        EXPECT_EQ(result.outcome, MoveOutcome::Failed);
        EXPECT_EQ(result.step, c.step);
        EXPECT_EQ(result.error.error, c.error);
        EXPECT_EQ(fresh.stick.at(kWorm).bytes, kBytes);
        EXPECT_TRUE(fresh.quarantine.empty());
        EXPECT_TRUE(fresh.index.empty());
        EXPECT_TRUE(fresh.allClosed());
    }

    // A failed delete comes after the copy is kept and recorded: both stay, and so does the original.
    port.failing["delete"] = 19;
    const MoveResult result = move();
    EXPECT_EQ(result.step, MoveStep::Delete);
    EXPECT_EQ(result.error.error, 19u);
    EXPECT_TRUE(port.stick.count(kWorm) && port.quarantine.count(result.hash) && port.index.size() == 1);
}

TEST_F(QuarantineTest, LimitsLeaveTheFileWhereItIs) {
    port.stick.at(kWorm).facts.size = kQuarantineFileLimit + 1;
    EXPECT_EQ(move().outcome, MoveOutcome::TooLarge);
    EXPECT_EQ(port.trace, (Trace{"open E:\\RavMon.exe", "close E:\\RavMon.exe"}));

    // Not the file that was checked: another write time through the handle that would delete it.
    port.stick.at(kWorm).facts.size = kBytes.size();
    FileFacts checked = port.stick.at(kWorm).facts;
    checked.written += 1;
    EXPECT_EQ(moveToQuarantine(port, kWorm, kStick, &checked).outcome, MoveOutcome::Changed);
    EXPECT_EQ(port.trace.size(), 4u);  // open and close, twice

    port.used = kQuarantineTotalLimit - kBytes.size() + 1;
    EXPECT_EQ(move().outcome, MoveOutcome::QuarantineFull);
    port.used = kQuarantineTotalLimit - kBytes.size();
    port.freeOnDrive = kQuarantineFreeReserve + kBytes.size() - 1;
    EXPECT_EQ(move().outcome, MoveOutcome::DiskLow);
    EXPECT_TRUE(port.quarantine.empty() && port.index.empty() && port.stick.count(kWorm));

    // A file that ends before the size its handle gave is no complete copy.
    port.used = 0;
    port.freeOnDrive = 100ull << 30;
    port.stick.at(kWorm).facts.size = kBytes.size() + 1;
    const MoveResult shortRead = move();
    EXPECT_EQ(shortRead.step, MoveStep::Read);
    EXPECT_EQ(shortRead.error.error, 38u);
    EXPECT_TRUE(port.quarantine.empty() && port.stick.count(kWorm));
}

TEST(QuarantineIndexTest, TimesAndFieldsAreWrittenInUtcAndUtf8) {
    EXPECT_EQ(utcText(0), "1601-01-01T00:00:00Z");
    EXPECT_EQ(utcText(133537247990000000), "2024-02-29T23:59:59Z");
    EXPECT_EQ(utcText(125911584000000000 + 9'999'999), "2000-01-01T00:00:00Z");
    const FileFacts facts{5, 0x27, 0, 125911584000000000, 133537247990000000, 134412561690000000};
    EXPECT_EQ(indexLine(134412561690000000, L"E:\\Çalış\\x.exe", {0xA, L"a\tb"}, facts, L"ff"),
              "2026-12-09T02:16:09Z\tE:\\Çalış\\x.exe\t0000-000A\ta\xEF\xBF\xBD" "b\t5\t00000027\t2000-01-01T00:00:00Z\t"
              "2024-02-29T23:59:59Z\t2026-12-09T02:16:09Z\tff\r\n");
}

}  // namespace
}  // namespace dva::stick
