#include "stick/stick_check.h"

#include <gtest/gtest.h>

#include "fake_stick.h"
#include "stick/quarantine.h"
#include "stick/sha256.h"

namespace dva::stick {
namespace {

using test::Trace;

const std::string kAutorun = "[AutoRun]\r\nopen=RavMon.exe\r\n";
const std::string kWorm = "MZ worm";
const std::string kBox = "message Virüs Bulundu!|E: sürücüsünde virüs tespit edildi!|16";
const std::string kDetected = "event 1000 E:\\autorun.inf";
const std::string kWormDetected = "event 1000 E:\\RavMon.exe";

std::string hashOf(std::string_view bytes) {
    Sha256 hash;
    hash.update(std::as_bytes(std::span(bytes)));
    return test::utf8(Sha256::hex(hash.finish()));
}

class StickCheckTest : public ::testing::Test {
protected:
    StickCheckTest() {
        rt.eventsInTrace = true;
        port.drives[L'E'] = {{0x1234ABCD, L"USB"}, L"\\\\?\\Volume{1}\\"};
        port.addStickFile(L"E:\\autorun.inf", kAutorun, kAttrHidden | kAttrSystem | kAttrReadOnly);
        port.addStickFile(L"E:\\RavMon.exe", kWorm);
        port.addStickFile(L"E:\\rapor.docx", "user's own", 0);
    }
    bool onStick(const wchar_t* path) const { return port.stick.count(path) != 0; }

    test::FakeRuntime rt;
    test::FakeStickPort port;
    StickCheck check{rt, rt, port};
};

TEST_F(StickCheckTest, WormStickOneBoxThenListedAndMovedInOrderThenVaccinated) {
    check.setVaccinating(true);
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Cleaned);
    EXPECT_EQ(rt.takeTrace(), (Trace{kDetected, kWormDetected, kBox, "list E:\\autorun.inf",
                                     "event 1011 E:\\autorun.inf|" + hashOf(kAutorun), "list E:\\RavMon.exe",
                                     "event 1011 E:\\RavMon.exe|" + hashOf(kWorm), "event 1013 E:"}));
    EXPECT_FALSE(onStick(L"E:\\autorun.inf") || onStick(L"E:\\RavMon.exe"));
    EXPECT_EQ(port.stick.at(L"E:\\rapor.docx").bytes, "user's own");
    EXPECT_EQ(port.stick.at(L"E:\\AUTORUN.INF").facts.attributes, kAttrHidden | kAttrSystem | kAttrDirectory);
    EXPECT_EQ(port.index.size(), 2u);

    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Clean);
    EXPECT_EQ(rt.trace, Trace{});
}

TEST_F(StickCheckTest, WhatChangedWhileTheBoxWasOpenIsCheckedAgainFromTheStart) {
    // Another stick takes the letter: it is clean, nothing is touched.
    rt.whileMessageOpen = [this] {
        port.drives[L'E'].volumeGuid = L"\\\\?\\Volume{2}\\";
        port.stick.erase(L"E:\\autorun.inf");
    };
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Clean);
    EXPECT_EQ(rt.takeTrace(), (Trace{kDetected, kWormDetected, kBox}));
    EXPECT_TRUE(onStick(L"E:\\RavMon.exe") && port.index.empty() && port.trace.empty());

    // The same stick, but the worm written again: a new box, then the files as they are now.
    port.addStickFile(L"E:\\autorun.inf", kAutorun);
    int boxes = 0;
    rt.whileMessageOpen = [&] {
        if (++boxes == 1) port.addStickFile(L"E:\\RavMon.exe", kWorm + "!");
    };
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Cleaned);
    EXPECT_EQ(boxes, 2);
    EXPECT_EQ(port.quarantine.count(test::wide(hashOf(kWorm + "!"))), 1u);
    EXPECT_EQ(port.quarantine.count(test::wide(hashOf(kWorm))), 0u);
}

TEST_F(StickCheckTest, AThreatThatCannotBeMovedGetsOneHataBoxThenQuietRetries) {
    port.failing["open"] = 19;  // write-protected
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Left);
    EXPECT_EQ(rt.takeTrace(), (Trace{kDetected, kWormDetected, kBox, "list E:\\autorun.inf", "event 1002 E:\\autorun.inf|19",
                                     "message Hata|Tehdit dosyası silinemedi: E:\\autorun.inf\n" + test::reasonFor(19) + "|16",
                                     "list E:\\RavMon.exe", "event 1002 E:\\RavMon.exe|19"}));

    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Left);
    EXPECT_EQ(rt.takeTrace(), Trace{});

    port.failing.clear();
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Cleaned);
    EXPECT_EQ(rt.trace, (Trace{"event 1011 E:\\autorun.inf|" + hashOf(kAutorun), "event 1011 E:\\RavMon.exe|" + hashOf(kWorm)}));
}

TEST_F(StickCheckTest, AFullQuarantineSaysWhyAndAPulledStickEndsQuietly) {
    port.used = kQuarantineTotalLimit;
    EXPECT_EQ(check.check(L'E'), StickCheck::Outcome::Left);
    EXPECT_EQ(rt.takeTrace(),
              (Trace{kDetected, kWormDetected, kBox, "list E:\\autorun.inf", "event 1014 E:\\autorun.inf|quarantine-full",
                     "message Hata|Tehdit dosyası silinemedi: E:\\autorun.inf\nKarantina 256 MiB sınırına ulaştı; program "
                     "karantinadan hiçbir şey silmez.|16",
                     "list E:\\RavMon.exe", "event 1014 E:\\RavMon.exe|quarantine-full"}));

    test::FakeStickPort pulled;
    pulled.drives = port.drives;
    pulled.stick = port.stick;
    pulled.failing["read"] = 21;
    pulled.failureRemovesStick = true;
    StickCheck other{rt, rt, pulled};
    EXPECT_EQ(other.check(L'E'), StickCheck::Outcome::NotReady);
    EXPECT_EQ(rt.trace, (Trace{kDetected, kWormDetected, kBox, "list E:\\autorun.inf", "event 1002 E:\\autorun.inf|21",
                               "event 1014 E:|removed"}));
    EXPECT_TRUE(pulled.quarantine.empty() && pulled.index.empty());
}

TEST_F(StickCheckTest, VaccinationOnlyWhereNoAutorunInfIs) {
    const struct {
        const char* what;
        std::vector<std::pair<std::wstring, std::uint32_t>> root;
        std::uint32_t mkdirError;
        Trace trace;
    } cases[] = {
        {"an empty stick", {}, 0, {"vaccinate E:\\AUTORUN.INF", "event 1013 E:"}},
        {"vaccinated already", {{L"E:\\AutoRun.inf", kAttrDirectory}}, 0, {}},
        {"its own autorun.inf", {{L"E:\\autorun.inf", 0}}, 0, {"event 1014 E:|harmless-autorun"}},
        {"BitLocker To Go", {{L"E:\\BitLockerToGo.exe", 0}}, 0, {"event 1014 E:|bitlocker-to-go"}},
        {"write-protected", {}, 19, {"vaccinate E:\\AUTORUN.INF", "event 1014 E:|not-writable"}},
    };
    for (const auto& c : cases) {
        port.stick.clear();
        port.trace.clear();
        rt.trace.clear();
        for (const auto& [path, attributes] : c.root) port.addStickFile(path, {}, attributes);
        if (c.mkdirError != 0) port.failing["vaccinate"] = c.mkdirError;
        check.vaccinate(L'E');
        Trace seen = port.trace;
        seen.insert(seen.end(), rt.trace.begin(), rt.trace.end());
        EXPECT_EQ(seen, c.trace) << c.what;
    }
    port.drives.clear();  // no stick: nothing
    port.trace.clear();
    check.vaccinate(L'E');
    EXPECT_TRUE(port.trace.empty());
}

}  // namespace
}  // namespace dva::stick
