// The event log, which Wine keeps nowhere: the exact calls the program makes (source, type, id,
// insertion strings, one registration given back at the end), recorded instead of made; and the
// message table in the built .exe, formatted as Event Viewer formats an entry.
#include <windows.h>

#include <gtest/gtest.h>

#include "main_window_parts.h"

#include <string>
#include <vector>

#include "control_ids.h"
#include "event_log.h"
#include "main_window.h"
#include "win32_runtime.h"

namespace dva {
namespace {

struct LogCall {
    std::wstring what{};  // "register", "report" or "deregister"
    HANDLE source = nullptr;
    std::wstring server{}, name{};  // of a registration
    WORD type = 0, category = 0;
    DWORD id = 0, dataSize = 0;
    bool userSid = false, rawData = false;
    std::vector<std::wstring> strings{};
};
std::vector<LogCall> logCalls;
HANDLE registrationResult = nullptr;
const HANDLE kSource = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x5ca1));

HANDLE WINAPI recordRegister(LPCWSTR server, LPCWSTR name) {
    logCalls.push_back({.what = L"register", .server = server ? server : L"(null)", .name = name ? name : L"(null)"});
    if (!registrationResult) SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return registrationResult;
}

// Takes ReportEventW's own parameter types, so `data` stays a pointer to non-const.
BOOL WINAPI recordReport(HANDLE source, WORD type, WORD category, DWORD id, PSID user, WORD count, DWORD dataSize,
                         // cppcheck-suppress constParameter
                         LPCWSTR* strings, LPVOID data) {
    LogCall call{.what = L"report", .source = source, .type = type, .category = category, .id = id,
                 .dataSize = dataSize, .userSid = user != nullptr, .rawData = data != nullptr};
    for (WORD i = 0; i < count; ++i) call.strings.emplace_back(strings[i]);
    logCalls.push_back(call);
    SetLastError(ERROR_LOG_FILE_FULL);
    return FALSE;  // a full log: the program must not care
}

BOOL WINAPI recordDeregister(HANDLE source) {
    logCalls.push_back({.what = L"deregister", .source = source});
    return TRUE;
}

constexpr EventLogCalls kRecorded{&recordRegister, &recordReport, &recordDeregister};

class EventLogCallsTest : public ::testing::Test {
protected:
    void SetUp() override {
        logCalls.clear();
        registrationResult = kSource;
    }
};

void expectReport(const LogCall& call, WORD type, DWORD id, const std::vector<std::wstring>& strings) {
    EXPECT_EQ(call.what, L"report");
    EXPECT_EQ(call.source, kSource);
    EXPECT_EQ(call.type, type) << id;
    EXPECT_EQ(call.id, id);
    EXPECT_EQ(call.category, 0) << id;
    EXPECT_EQ(call.dataSize, 0u) << id;
    EXPECT_FALSE(call.userSid) << id;
    EXPECT_FALSE(call.rawData) << id;
    EXPECT_EQ(call.strings, strings) << id;
}

TEST_F(EventLogCallsTest, OneRegistrationThenOneReportPerEventAndTheEndGivesItBack) {
    {
        Win32Runtime rt(kRecorded);
        EXPECT_TRUE(logCalls.empty()) << "registered before anything was reported";
        rt.report(programStarted(StartKind::SignIn));
        rt.report({EventKind::ThreatDetected, L"C:\\System32.exe"});
        rt.report({EventKind::ThreatNotRemoved, L"C:\\System32.exe", ERROR_SHARING_VIOLATION});
        rt.report({EventKind::ProtectionOff});
        rt.report({EventKind::ThreatRemoved, L"C:\\System32.exe"});
        rt.report({EventKind::ProgramEnded, L"exit"});
        ASSERT_EQ(logCalls.size(), 8u);
        EXPECT_EQ(logCalls[0].what, L"register");
        EXPECT_EQ(logCalls[0].server, L"(null)") << "not the local computer's log";
        EXPECT_EQ(logCalls[0].name, L"Dravonil Veriz Avize");
        expectReport(logCalls[1], EVENTLOG_INFORMATION_TYPE, 1009, {L"sign-in"});
        expectReport(logCalls[2], EVENTLOG_WARNING_TYPE, 1000, {L"C:\\System32.exe"});
        expectReport(logCalls[3], EVENTLOG_WARNING_TYPE, 1002,
                     {L"C:\\System32.exe", L"32", rt.errorReason(ERROR_SHARING_VIOLATION)});
        EXPECT_FALSE(logCalls[3].strings.empty() || logCalls[3].strings.back().empty());
        expectReport(logCalls[4], EVENTLOG_INFORMATION_TYPE, 1008, {});
        expectReport(logCalls[5], EVENTLOG_INFORMATION_TYPE, 1001, {L"C:\\System32.exe"});
        expectReport(logCalls[6], EVENTLOG_INFORMATION_TYPE, 1010, {L"exit"});
        EXPECT_EQ(logCalls[7].what, L"deregister");
        EXPECT_EQ(logCalls[7].source, kSource);
    }
    EXPECT_EQ(logCalls.size(), 8u) << "given back twice";
}

TEST_F(EventLogCallsTest, AnUnendedRuntimeGivesItsRegistrationBackOnce) {
    {
        Win32Runtime rt(kRecorded);
        rt.report({EventKind::AutoRunFolderMade, L"C:\\AutoRun.inf"});
        rt.report({EventKind::KillCommandNotStarted, L"\"C:\\Windows\\system32\\taskkill.exe\" /F /IM amvo.exe",
                   ERROR_FILE_NOT_FOUND});
    }
    ASSERT_EQ(logCalls.size(), 4u);
    expectReport(logCalls[1], EVENTLOG_INFORMATION_TYPE, 1005, {L"C:\\AutoRun.inf"});
    EXPECT_EQ(logCalls[2].type, EVENTLOG_WARNING_TYPE);
    EXPECT_EQ(logCalls[2].id, 1004u);
    ASSERT_EQ(logCalls[2].strings.size(), 3u);
    EXPECT_EQ(logCalls[2].strings[1], L"2");
    EXPECT_EQ(logCalls[3].what, L"deregister");
}

// No event log (a stopped service, no rights): tried once, then protection goes on without it
// and without a box.
TEST_F(EventLogCallsTest, ALogThatCannotBeOpenedIsTriedOnceAndShowsNothing) {
    registrationResult = nullptr;
    Win32Runtime rt(kRecorded);
    for (int i = 0; i < 3; ++i) rt.report({EventKind::ThreatDetected, L"C:\\mdm.exe"});
    // A box would have held the loop above until answered; none is left open either.
    EXPECT_EQ(FindWindowW(L"#32770", nullptr), nullptr);
    ASSERT_EQ(logCalls.size(), 1u);
    EXPECT_EQ(logCalls[0].what, L"register");
}

// The user's switch, through the real main window: the entry is written before its box, which a
// timer answers as a user would, noting how many calls had been made while it was open.
std::vector<size_t> callsWhileBoxOpen;

BOOL CALLBACK answerBox(HWND window, LPARAM) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (std::wstring(name) != L"#32770") return TRUE;
    callsWhileBoxOpen.push_back(logCalls.size());
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return FALSE;
}

void CALLBACK answerBoxes(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), answerBox, 0); }

TEST_F(EventLogCallsTest, SwitchingProtectionOffAndOnIsLoggedAsTheUsersDoing) {
    MainWindowParts parts(kRecorded);
    HWND main = parts.mainWindow.get().hwnd();
    ASSERT_NE(main, nullptr);
    HWND protection = GetDlgItem(main, ids::main::protection);
    ASSERT_NE(protection, nullptr);

    callsWhileBoxOpen.clear();
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, answerBoxes);
    for (const WPARAM state : {BST_UNCHECKED, BST_CHECKED}) {  // ticked at start: off, then on again
        SendMessageW(protection, BM_SETCHECK, state, 0);
        SendMessageW(main, WM_COMMAND, MAKEWPARAM(ids::main::protection, BN_CLICKED), reinterpret_cast<LPARAM>(protection));
    }
    KillTimer(nullptr, timer);

    ASSERT_EQ(logCalls.size(), 3u);
    expectReport(logCalls[1], EVENTLOG_INFORMATION_TYPE, 1008, {});
    expectReport(logCalls[2], EVENTLOG_INFORMATION_TYPE, 1007, {});
    EXPECT_EQ(callsWhileBoxOpen, (std::vector<size_t>{2, 3})) << "an entry was not written before its box";
}

// ---- the message table, as Event Viewer reads it ----

std::wstring programFile() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + L"Dravonil Veriz Avize.exe";
}

// The entry's text in a language, its insertion strings put in as Event Viewer does.
std::wstring formatEntry(HMODULE exe, DWORD id, LANGID language, const std::vector<std::wstring>& strings) {
    std::vector<DWORD_PTR> args;
    for (const std::wstring& s : strings) args.push_back(reinterpret_cast<DWORD_PTR>(s.c_str()));
    wchar_t text[1024] = {};
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe, id, language,
                                   text, 1024, args.empty() ? nullptr : reinterpret_cast<va_list*>(args.data()));
    if (n == 0) return L"(no text: error " + std::to_wstring(GetLastError()) + L")";
    std::wstring out(text, n);
    while (!out.empty() && (out.back() == L'\n' || out.back() == L'\r')) out.pop_back();
    for (size_t at; (at = out.find(L"\r\n")) != std::wstring::npos;) out.replace(at, 2, L"\n");
    return out;
}

TEST(EventMessageTable, TheProgramCarriesEveryEntrysTextInTurkishAndEnglish) {
    HMODULE exe = LoadLibraryExW(programFile().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr) << "cannot load the program, error " << GetLastError();
    const LANGID turkish = MAKELANGID(LANG_TURKISH, SUBLANG_DEFAULT), english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    const std::vector<std::wstring> error = {L"C:\\System32.exe", L"32", L"Dosya kullanımda."};
    EXPECT_EQ(formatEntry(exe, 1000, turkish, {L"C:\\System32.exe"}), L"Tehdit tespit edildi: C:\\System32.exe");
    EXPECT_EQ(formatEntry(exe, 1000, english, {L"C:\\System32.exe"}), L"A threat was detected: C:\\System32.exe");
    EXPECT_EQ(formatEntry(exe, 1002, turkish, error),
              L"Tehdit dosyası silinemedi: C:\\System32.exe\nHata 32: Dosya kullanımda.");
    EXPECT_EQ(formatEntry(exe, 1009, turkish, {L"sign-in"}), L"Dravonil Veriz Avize başladı (başlangıç: sign-in).");
    EXPECT_EQ(formatEntry(exe, 1008, english, {}), L"Real-time protection was switched off by the user.");
    for (DWORD id = 1000; id <= 1010; ++id) {
        for (const LANGID language : {turkish, english}) {
            const std::wstring text = formatEntry(exe, id, language, error);
            EXPECT_EQ(text.find(L"(no text"), std::wstring::npos) << id << " in " << language << ": " << text;
        }
    }
    FreeLibrary(exe);
}

}  // namespace
}  // namespace dva
