// The event-log entries the engine writes: one per detection, removal and failure, in the order
// they happen among the boxes, list lines and file operations; nothing for quiet retries or idle
// passes. And the message table the entries are shown with: one text per id and language,
// using exactly the fields the program passes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "autorun_protection.h"
#include "fake_runtime.h"
#include "known_threats.h"
#include "threat_scan.h"

namespace dva::test {
namespace {


std::string detected(const std::string& path) { return "event 1000 " + path; }
std::string removed(const std::string& path) { return "event 1001 " + path; }
std::string notRemoved(const std::string& path, std::uint32_t code) {
    return "event 1002 " + path + "|" + std::to_string(code);
}
std::string deleteErrorBox(const std::string& path, std::uint32_t code) {
    return "message Hata|Tehdit dosyası silinemedi: " + path + "\n" + reasonFor(code) + "|16";
}

class ThreatScanEventsTest : public ::testing::Test {
protected:
    void SetUp() override { rt.eventsInTrace = true; }
    FakeRuntime rt;
    ThreatScan scan{rt, rt};
};

TEST_F(ThreatScanEventsTest, DetectionIsLoggedBeforeItsAlertAndRemovalAfterTheDelete) {
    rt.addFile("C:\\System32.exe");
    rt.addFile("C:\\svchost.dll", {.readOnly = true});
    scan.tick();
    EXPECT_EQ(rt.trace, (Trace{detected("C:\\System32.exe"), kHitMessage, "list C:\\System32.exe",
                               "delete C:\\System32.exe", removed("C:\\System32.exe"),
                               detected("C:\\svchost.dll"), kHitMessage, "list C:\\svchost.dll",
                               "clear-readonly C:\\svchost.dll", "delete C:\\svchost.dll",
                               removed("C:\\svchost.dll")}));
}

TEST_F(ThreatScanEventsTest, EveryKnownThreatGivesOneDetectionAndOneRemovalInTableOrder) {
    rt.eventsInTrace = false;
    Trace expected;
    for (const wchar_t* known : kKnownThreats) {
        const std::string path = utf8(known);
        rt.addFile(path);
        expected.push_back(detected(path));
        if (path == "C:\\amvo.exe") expected.push_back("event 1003 " + kKillLine);
        expected.push_back(removed(path));
    }
    scan.tick();
    EXPECT_EQ(rt.events, expected);
}

TEST_F(ThreatScanEventsTest, IdlePassesAndSkippedTicksLogNothing) {
    rt.folders = {L"C:\\System32.exe"};
    rt.addFile("C:\\amvo.exe", {.hidden = true});
    for (int second = 0; second < 30; ++second) {
        scan.tick();
        rt.clock += 1000;
    }
    EXPECT_EQ(rt.events, Trace{});

    // Ticks that come while the alert is open are skipped: the detection is logged once.
    rt.whileMessageOpen = [&] { scan.tick(); };
    rt.addFile("C:\\mdm.exe");
    scan.tick();
    EXPECT_EQ(rt.events, (Trace{detected("C:\\mdm.exe"), removed("C:\\mdm.exe")}));
}

// A file that cannot be deleted is logged once as not removed; the quiet retries log nothing,
// and the retry that finally deletes it logs the removal.
TEST_F(ThreatScanEventsTest, UndeletableFileIsLoggedOnceAndItsLateRemovalToo) {
    rt.addFile("C:\\System32.exe", {.deleteError = 32});
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), (Trace{detected("C:\\System32.exe"), kHitMessage, "list C:\\System32.exe",
                                     "delete C:\\System32.exe", notRemoved("C:\\System32.exe", 32),
                                     deleteErrorBox("C:\\System32.exe", 32)}));
    for (int pass = 0; pass < 3; ++pass) {
        scan.tick();
        EXPECT_EQ(rt.takeTrace(), Trace{"delete C:\\System32.exe"}) << "pass " << pass;
    }
    rt.files[L"C:\\System32.exe"].deleteError = 0;
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), (Trace{"delete C:\\System32.exe", removed("C:\\System32.exe")}));

    // Removed by someone else while stuck: no removal of ours to log, and a return is new.
    rt.addFile("C:\\System32.exe", {.deleteError = 5});
    scan.tick();
    rt.files.clear();
    rt.takeEvents();
    scan.tick();
    EXPECT_EQ(rt.events, Trace{});
    rt.addFile("C:\\System32.exe", {.deleteError = 5});
    scan.tick();
    EXPECT_EQ(rt.events, (Trace{detected("C:\\System32.exe"), notRemoved("C:\\System32.exe", 5)}));
}

TEST_F(ThreatScanEventsTest, KillCommandIsLoggedOnceItHasRunAndItsRetriesAreNot) {
    rt.addFile("C:\\amvo.exe", {.deleteError = 5});
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), (Trace{detected("C:\\amvo.exe"), kHitMessage, "list C:\\amvo.exe", kKill,
                                     "event 1003 " + kKillLine, "delete C:\\amvo.exe",
                                     notRemoved("C:\\amvo.exe", 5), deleteErrorBox("C:\\amvo.exe", 5)}));
    rt.clock += 10000;  // due again: started, deleted in vain, all quietly
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), (Trace{kKill + " background", "delete C:\\amvo.exe"}));
    rt.files[L"C:\\amvo.exe"].deleteError = 0;
    scan.tick();
    EXPECT_EQ(rt.takeTrace(), (Trace{"delete C:\\amvo.exe", removed("C:\\amvo.exe")}));
}

TEST_F(ThreatScanEventsTest, KillCommandThatCannotStartIsLoggedWithItsError) {
    rt.runError = 2;
    rt.addFile("C:\\amvo.exe");
    scan.tick();
    EXPECT_EQ(rt.trace, (Trace{detected("C:\\amvo.exe"), kHitMessage, "list C:\\amvo.exe", kKill,
                               "event 1004 " + kKillLine + "|2",
                               "message Hata|Komut başlatılamadı: " + kKillLine + "\n" + reasonFor(2) + "|16",
                               "delete C:\\amvo.exe", removed("C:\\amvo.exe")}));
}

// ---- AutoRun protection ----

constexpr const char* kAutoRun = "C:\\AutoRun.inf";
const std::string kAutoRunWarning =
    "message Virüs Bulundu!|AutoRun Korumasını etkileyecek bir virüs tespit edildi!|48";

class AutoRunEventsTest : public ::testing::Test {
protected:
    void SetUp() override { rt.eventsInTrace = true; }
    FakeRuntime rt;
    AutoRunProtection autorun{rt, rt};
};

TEST_F(AutoRunEventsTest, ProtectingLogsTheDetectionTheRemovalAndTheFolder) {
    rt.addFile(kAutoRun);
    autorun.onSwitch(SwitchState::Ticked);
    EXPECT_EQ(rt.trace, (Trace{detected(kAutoRun), kAutoRunWarning, "list C:\\AutoRun.inf",
                               "delete C:\\AutoRun.inf", removed(kAutoRun), "mkdir C:\\AutoRun.inf",
                               "event 1005 C:\\AutoRun.inf",
                               "message Bilgilendirme|Virüs Temizlenerek koruma oluşturuldu!|64"}));
    // With the folder in place nothing more happens, and nothing is logged.
    rt.takeTrace();
    autorun.onSwitch(SwitchState::Ticked);
    autorun.onSwitch(SwitchState::Unticked);
    EXPECT_EQ(rt.trace, Trace{});
}

TEST_F(AutoRunEventsTest, EachFailureIsLoggedWithItsError) {
    rt.addFile(kAutoRun);
    rt.mkdirError = 5;
    autorun.onSwitch(SwitchState::Ticked);
    EXPECT_EQ(rt.takeEvents(), (Trace{detected(kAutoRun), removed(kAutoRun), "event 1006 C:\\AutoRun.inf|5"}));

    rt.addFile(kAutoRun, {.deleteError = 32});
    autorun.onSwitch(SwitchState::Ticked);
    EXPECT_EQ(rt.takeEvents(), (Trace{detected(kAutoRun), notRemoved(kAutoRun, 32)}));

    // Switching off removes the root file without a detection; its outcome is logged.
    autorun.onSwitch(SwitchState::Unticked);
    EXPECT_EQ(rt.takeEvents(), Trace{notRemoved(kAutoRun, 32)});
    rt.files[L"C:\\AutoRun.inf"].deleteError = 0;
    autorun.onSwitch(SwitchState::Unticked);
    EXPECT_EQ(rt.trace.back(), "message Bilgilendirme|Autorun Koruması Pasifleştirildi|64");
    EXPECT_EQ(rt.takeEvents(), Trace{removed(kAutoRun)});
}

// ---- the message table ----

// The messages of event_messages.mc: id -> language -> text.
std::map<unsigned, std::map<std::string, std::string>> readMessageTable() {
    std::ifstream in(std::filesystem::path(DVA_RESOURCES_DIR) / "event_messages.mc");
    EXPECT_TRUE(in) << "event_messages.mc not found";
    std::map<unsigned, std::map<std::string, std::string>> table;
    std::string line, language;
    unsigned id = 0;
    bool inText = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (inText) {
            if (line == ".") {
                inText = false;
            } else {
                table[id][language] += line;
            }
        } else if (line.rfind("MessageId=", 0) == 0) {
            id = static_cast<unsigned>(std::stoul(line.substr(10)));
            EXPECT_EQ(table.count(id), 0u) << "message id " << id << " twice";
        } else if (line.rfind("Language=", 0) == 0) {
            language = line.substr(9);
            inText = true;
        }
    }
    return table;
}

// The highest insertion %n in a text (%n alone, %r, %% and the like are not insertions).
int highestInsertion(const std::string& text) {
    static const std::regex insertion("%([1-9][0-9]?)");
    int highest = 0;
    std::set<int> seen;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), insertion); it != std::sregex_iterator(); ++it) {
        const int n = std::stoi((*it)[1]);
        seen.insert(n);
        highest = std::max(highest, n);
    }
    EXPECT_EQ(static_cast<int>(seen.size()), highest) << "a field is missing from: " << text;
    return highest;
}

TEST(EventMessages, EveryIdHasATurkishAndAnEnglishTextWithExactlyItsFields) {
    const auto table = readMessageTable();
    std::set<unsigned> kinds;
    for (const auto& [kind, level, fields] : kEvents) {
        const auto id = static_cast<unsigned>(kind);
        kinds.insert(id);
        const auto found = table.find(id);
        if (found == table.end()) {
            ADD_FAILURE() << "no message for event id " << id;
            continue;
        }
        ASSERT_EQ(found->second.size(), 2u) << id;
        for (const char* language : {"English", "Turkish"}) {
            const auto text = found->second.find(language);
            ASSERT_NE(text, found->second.end()) << id << " has no " << language << " text";
            EXPECT_EQ(highestInsertion(text->second), fields) << id << " " << language << ": " << text->second;
        }
    }
    for (const auto& [id, texts] : table) EXPECT_EQ(kinds.count(id), 1u) << "message " << id << " is no event the program writes";
}

TEST(EventMessages, DetectionsAndFailuresAreWarningsTheRestInformation) {
    std::set<unsigned> warnings, ids;
    for (const auto& [kind, level, fields] : kEvents) {
        EXPECT_TRUE(ids.insert(static_cast<unsigned>(kind)).second) << "a second row for " << static_cast<unsigned>(kind);
        EXPECT_EQ(&infoOf(kind), &kEvents[ids.size() - 1]) << static_cast<unsigned>(kind);
        if (level == EventLevel::Warning) warnings.insert(static_cast<unsigned>(kind));
        EXPECT_EQ(carriesError(kind), level == EventLevel::Warning && kind != EventKind::ThreatDetected)
            << static_cast<unsigned>(kind);
    }
    EXPECT_EQ(warnings, (std::set<unsigned>{1000, 1002, 1004, 1006}));
}

}  // namespace
}  // namespace dva::test
