// The program's event-log entries, as Wine shows them. Wine's event log keeps nothing: its
// ReportEventW prints the call (type, id, string count) on the advapi debug channel and each
// insertion string on the eventlog channel, to the Unix standard error of the process. This
// program runs under tests/e2e/capture_wine_debug.sh, which sends that standard error to the
// file named by DVA_WINE_DEBUG_FILE; each case starts the program with those channels on and
// reads the entries back from the file.
#include <cctype>
#include <memory>
#include <sstream>

#include "control_ids.h"
#include "driver.h"

namespace dva::e2e {
namespace {

struct Entry {
    unsigned type = 0, id = 0;
    std::vector<std::wstring> strings{};
};

std::string describe(const std::vector<Entry>& entries) {
    std::ostringstream out;
    for (const Entry& e : entries) {
        out << "\n  id " << e.id << " type " << e.type << ":";
        for (const auto& s : e.strings) out << " \"" << utf8(s) << "\"";
    }
    return entries.empty() ? "(no entries)" : out.str();
}

// The capture file, through Wine's drive Z:, which is the Unix root.
std::wstring captureFile() { return fileFromEnvironment(L"DVA_WINE_DEBUG_FILE"); }

// Wine writes a string as L"..." with \\, \", \n, \r, \t and \hhhh (four hex digits) escapes.
std::wstring unquote(const std::string& quoted) {
    std::wstring out;
    for (size_t i = 0; i < quoted.size(); ++i) {
        const char c = quoted[i];
        if (c != '\\' || i + 1 >= quoted.size()) {
            out += static_cast<wchar_t>(static_cast<unsigned char>(c));
            continue;
        }
        const char e = quoted[++i];
        if (e == 'n') out += L'\n';
        else if (e == 'r') out += L'\r';
        else if (e == 't') out += L'\t';
        else if (std::isxdigit(static_cast<unsigned char>(e)) && i + 3 < quoted.size()) {
            out += static_cast<wchar_t>(std::stoul(quoted.substr(i, 4), nullptr, 16));
            i += 3;
        } else out += static_cast<wchar_t>(e);
    }
    return out;
}

std::string captured() {
    std::string text;
    HANDLE h = CreateFileW(captureFile().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return text;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n) text.append(buffer, n);
    CloseHandle(h);
    return text;
}

// The entries written so far, in order.
std::vector<Entry> entries() {
    std::vector<Entry> found;
    std::istringstream lines(captured());
    std::string line;
    size_t expected = 0;
    bool continues = false;
    while (std::getline(lines, line)) {
        if (const size_t call = line.find(":fixme:advapi:ReportEventW ("); call != std::string::npos) {
            // (source,type,category,id,user,count,size,strings,data)
            std::vector<std::string> args;
            std::istringstream list(line.substr(call + 28));
            for (std::string arg; std::getline(list, arg, ',');) args.push_back(arg);
            if (args.size() < 6) continue;
            found.push_back({static_cast<unsigned>(std::stoul(args[1], nullptr, 16)),
                             static_cast<unsigned>(std::stoul(args[3], nullptr, 16))});
            expected = std::stoul(args[5], nullptr, 16);
            continues = false;
        } else if (const size_t s = line.find(":eventlog:ReportEventW L\""); s != std::string::npos && !found.empty()) {
            const size_t open = s + 25, close = line.rfind('"');
            if (close <= open) continue;
            // A string with a line break comes on one debug line per line.
            const std::wstring part = unquote(line.substr(open, close - open));
            auto& strings = found.back().strings;
            if (continues && !strings.empty()) {
                strings.back() += part;
            } else if (strings.size() < expected) {
                strings.push_back(part);
            }
            continues = !part.empty() && part.back() == L'\n';
        }
    }
    return found;
}

std::vector<Entry> entriesAfterStart() {
    std::vector<Entry> all = entries();
    if (!all.empty() && all.front().id == 1009) all.erase(all.begin());
    return all;
}

// The system's text for an error code, as the program writes it: on one line, no line break after it.
std::wstring reasonFor(DWORD code) {
    wchar_t text[512] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 512,
                             nullptr);
    while (n && (text[n - 1] == L'\n' || text[n - 1] == L'\r' || text[n - 1] == L' ')) --n;
    return std::wstring(text, n);
}

constexpr unsigned kWarning = EVENTLOG_WARNING_TYPE, kInformation = EVENTLOG_INFORMATION_TYPE;

class EventLog : public ProgramTest {
protected:
    void SetUp() override {
        ASSERT_FALSE(captureFile().empty()) << "DVA_WINE_DEBUG_FILE is not set: run this program through "
                                               "tests/e2e/capture_wine_debug.sh (CTest does)";
        // The program inherits the channels; this test program's own stay as they are.
        wchar_t old[256] = {};
        const bool had = GetEnvironmentVariableW(L"WINEDEBUG", old, 256) != 0;
        SetEnvironmentVariableW(L"WINEDEBUG", L"-all,+eventlog,fixme+advapi");
        ProgramTest::SetUp();
        SetEnvironmentVariableW(L"WINEDEBUG", had ? old : nullptr);
    }

    // Waits until at least `count` entries are there.
    bool waitForEntries(size_t count, Ms within = kDetectWithin) {
        return waitFor([&] { return entriesAfterStart().size() >= count; }, within);
    }
};

TEST_F(EventLog, StartIsLoggedAndIdleProtectionLogsNothing) {
    ASSERT_TRUE(waitFor([] { return !entries().empty(); }, kReactWithin)) << "no entry at all";
    const auto start = entries();
    EXPECT_EQ(start.front().id, 1009u);
    EXPECT_EQ(start.front().type, kInformation);
    EXPECT_EQ(start.front().strings, std::vector<std::wstring>{L"ordinary"});
    // A few passes over a clean drive: nothing more.
    EXPECT_FALSE(waitFor([] { return entries().size() > 1; }, 3500ms)) << describe(entries());
}

TEST_F(EventLog, PlantedThreatGivesADetectionAndThenARemovalNamingItsPath) {
    Program& p = program();
    const std::wstring path = L"C:\\System32.exe";
    placeFile(path);
    const auto alert = p.waitForAlert();
    ASSERT_TRUE(alert.has_value());
    // Logged at once, while the alert still waits for the user; the file is not deleted yet.
    ASSERT_TRUE(waitForEntries(1, kReactWithin)) << describe(entries());
    EXPECT_EQ(entriesAfterStart().size(), 1u) << describe(entries());
    p.close(*alert);

    ASSERT_TRUE(waitFor([&] { return !exists(path); }, kReactWithin)) << "the threat stays";
    ASSERT_TRUE(waitForEntries(2, kReactWithin)) << describe(entries());
    const auto seen = entriesAfterStart();
    ASSERT_EQ(seen.size(), 2u) << describe(seen);
    EXPECT_EQ(seen[0].id, 1000u);
    EXPECT_EQ(seen[0].type, kWarning);
    EXPECT_EQ(seen[0].strings, std::vector<std::wstring>{path});
    EXPECT_EQ(seen[1].id, 1001u);
    EXPECT_EQ(seen[1].type, kInformation);
    EXPECT_EQ(seen[1].strings, std::vector<std::wstring>{path});
}

TEST_F(EventLog, LockedThreatIsLoggedWithItsErrorAndItsRemovalOnceReleased) {
    Program& p = program();
    const std::wstring path = L"C:\\svchost.exe";
    // Made and held open in one step, shared for reading and writing but not for deleting.
    HANDLE held = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    std::shared_ptr<void> handle(held, CloseHandle);

    EXPECT_TRUE(p.expectAlert());
    const auto error = p.waitForMessageBox(kReactWithin);
    ASSERT_TRUE(error.has_value());
    EXPECT_TEXT(error->title, L"Hata");
    ASSERT_TRUE(waitForEntries(2, kReactWithin)) << describe(entries());
    auto seen = entriesAfterStart();
    ASSERT_EQ(seen.size(), 2u) << describe(seen);
    EXPECT_EQ(seen[0].id, 1000u);
    EXPECT_EQ(seen[0].strings, std::vector<std::wstring>{path});
    EXPECT_EQ(seen[1].id, 1002u);
    EXPECT_EQ(seen[1].type, kWarning);
    EXPECT_EQ(seen[1].strings, (std::vector<std::wstring>{path, L"32", reasonFor(ERROR_SHARING_VIOLATION)}))
        << describe(seen);
    EXPECT_FALSE(reasonFor(ERROR_SHARING_VIOLATION).empty());
    // The box says the same as the entry.
    EXPECT_TEXT(error->text, L"Tehdit dosyası silinemedi: " + path + L"\n" + reasonFor(ERROR_SHARING_VIOLATION));
    p.close(*error);

    // The quiet retries log nothing; the one that deletes the released file logs the removal.
    EXPECT_FALSE(waitFor([] { return entriesAfterStart().size() > 2; }, 2500ms)) << describe(entries());
    handle.reset();
    ASSERT_TRUE(waitFor([&] { return !exists(path); }, kDetectWithin)) << "the released file stays";
    ASSERT_TRUE(waitForEntries(3, kReactWithin)) << describe(entries());
    seen = entriesAfterStart();
    ASSERT_EQ(seen.size(), 3u) << describe(seen);
    EXPECT_EQ(seen[2].id, 1001u);
    EXPECT_EQ(seen[2].strings, std::vector<std::wstring>{path});
}

TEST_F(EventLog, ExitCommandIsTheLastEntry) {
    Program& p = program();
    p.clickMain(ids::main::exit);
    ASSERT_TRUE(p.waitForExit(kReactWithin).has_value()) << "the program did not end";
    const auto seen = entriesAfterStart();
    ASSERT_EQ(seen.size(), 1u) << describe(entries());
    EXPECT_EQ(seen[0].id, 1010u);
    EXPECT_EQ(seen[0].type, kInformation);
    EXPECT_EQ(seen[0].strings, std::vector<std::wstring>{L"exit"});
    // And the registration is given back after it.
    const std::string text = captured();
    const size_t lastReport = text.rfind(":ReportEventW (");
    const size_t deregistered = text.rfind(":DeregisterEventSource (");
    EXPECT_TRUE(deregistered != std::string::npos && deregistered > lastReport) << text;
}

}  // namespace
}  // namespace dva::e2e
