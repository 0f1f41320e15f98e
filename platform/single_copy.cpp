#include "single_copy.h"

#include <sddl.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "product_config.h"
#include "elevation.h"
#include "system_function.h"
#include "window_classes.h"

namespace dva {
namespace {

constexpr wchar_t kName[] = DVA_SINGLE_COPY_NAME;

// The first copy's record in the named object.
struct Record {
    volatile LONG processId;
};

// The full image path of a process, whatever its length.
std::wstring imagePath(HANDLE process) {
    // The call says only that the buffer was too small: it is doubled, up to the longest path.
    return grownText([process](wchar_t* buffer, DWORD size) -> DWORD {
        DWORD written = size;
        if (QueryFullProcessImageNameW(process, 0, buffer, &written)) return written;
        return GetLastError() == ERROR_INSUFFICIENT_BUFFER && size < 32768 ? size * 2 : 0;
    });
}

// One class of information about an access token, in a buffer of the size the system asks for;
// null when it cannot be read.
std::unique_ptr<BYTE[]> tokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS what) {
    DWORD size = 0;
    GetTokenInformation(token, what, nullptr, 0, &size);
    if (size == 0) return nullptr;
    auto buffer = std::make_unique<BYTE[]>(size);
    if (!GetTokenInformation(token, what, buffer.get(), size, &size)) return nullptr;
    return buffer;
}

}  // namespace

std::optional<DWORD> integrityOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return std::nullopt;
    const UniqueHandle owned(token);
    const auto buffer = tokenInformation(token, TokenIntegrityLevel);
    if (!buffer) return std::nullopt;
    const PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.get())->Label.Sid;
    const UCHAR count = *GetSidSubAuthorityCount(sid);
    if (count == 0) return std::nullopt;
    return *GetSidSubAuthority(sid, count - 1u);
}

namespace {

// The current user's SID as text ("S-1-5-21-..."), or empty.
std::wstring userSidText() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const UniqueHandle owned(token);
    const auto buffer = tokenInformation(token, TokenUser);
    if (!buffer) return {};
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &text)) return {};
    const UniqueLocalMemory owner(text);
    return text;
}

// Who may use the named object this copy makes. Elevated: administrators and the system may write
// its record, the user may only read it (an unelevated start must find the running copy), and
// its integrity label keeps lower processes from writing whatever the list says. Not elevated:
// the user alone.
std::wstring objectSecurity() {
    const std::wstring user = userSidText();
    if (user.empty()) return {};
    if (runningElevated()) return L"D:P(A;;GA;;;BA)(A;;GA;;;SY)(A;;GR;;;" + user + L")S:(ML;;NW;;;HI)";
    return L"D:P(A;;GA;;;" + user + L")";
}

// Whether the process runs this program's file, by its full path.
bool runsThisProgramFile(HANDLE process) {
    const std::wstring self = thisProgramFile(), other = imagePath(process);
    return !self.empty() && !other.empty() &&
           CompareStringOrdinal(self.c_str(), -1, other.c_str(), -1, TRUE) == CSTR_EQUAL;
}

struct WindowSearch {
    const wchar_t* className;
    DWORD pid;  // 0: any process that runs this program
    HWND found = nullptr;
};

BOOL CALLBACK lookAtWindow(HWND h, LPARAM lp) {
    auto& search = *reinterpret_cast<WindowSearch*>(lp);
    wchar_t name[16] = {};
    if (!GetClassNameW(h, name, 16) || std::wstring(name) != search.className) return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (search.pid ? owner != search.pid : (owner == GetCurrentProcessId() || !runsThisProgram(owner))) return TRUE;
    search.found = h;
    return FALSE;
}

HWND findWindow(const wchar_t* className, DWORD pid) {
    WindowSearch search{className, pid};
    EnumWindows(lookAtWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The main window of the process, or its splash while it has not handed over yet; pid 0: of any
// process that runs this program.
HWND windowOf(DWORD pid) {
    if (HWND main = findWindow(window_class::kMain, pid)) return main;
    return findWindow(window_class::kSplash, pid);
}

// The windows of a class that other processes running this program's file show, whatever their
// rights, and those processes, each once, opened so that they can be waited for and ended.
struct CopySearch {
    const wchar_t* className;
    std::vector<HWND> windows = {};
    std::vector<std::pair<DWORD, UniqueHandle>> processes = {};
};

BOOL CALLBACK collectCopy(HWND h, LPARAM lp) {
    auto& search = *reinterpret_cast<CopySearch*>(lp);
    wchar_t name[16] = {};
    if (!GetClassNameW(h, name, 16) || std::wstring(name) != search.className) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == 0 || pid == GetCurrentProcessId()) return TRUE;
    const bool known = std::any_of(search.processes.begin(), search.processes.end(),
                                   [pid](const auto& p) { return p.first == pid; });
    if (!known) {
        UniqueHandle process(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
        if (!process || !runsThisProgramFile(process.get())) return TRUE;
        search.processes.emplace_back(pid, std::move(process));
    }
    search.windows.push_back(h);
    return TRUE;
}

}  // namespace

void closeCopiesShowing(const wchar_t* className, DWORD graceMs) {
    CopySearch search{className};
    EnumWindows(collectCopy, reinterpret_cast<LPARAM>(&search));
    for (HWND h : search.windows) PostMessageW(h, WM_CLOSE, 0, 0);
    // One span for all of them; a copy still running after it is ended.
    const ULONGLONG deadline = GetTickCount64() + graceMs;
    for (const auto& [pid, process] : search.processes) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        if (WaitForSingleObject(process.get(), left) != WAIT_OBJECT_0) TerminateProcess(process.get(), 1);
    }
}

std::wstring thisProgramFile() { return imagePath(GetCurrentProcess()); }

bool runsThisProgram(DWORD pid, IntegrityReader integrity) {
    if (pid == 0 || pid == GetCurrentProcessId()) return false;
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process || !runsThisProgramFile(process.get())) return false;
    // A level that cannot be read proves nothing: such a copy is not trusted to be ours.
    const DWORD own = integrity(GetCurrentProcess()).value_or(0);
    const std::optional<DWORD> other = integrity(process.get());
    return other && *other >= own;
}

HWND windowOfThisProgram(const wchar_t* className) {
    HWND h = findWindow(className, 0);
    return h && IsWindowVisible(h) ? h : nullptr;
}

SingleCopy::SingleCopy() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring security = objectSecurity();
    if (!security.empty())
        ConvertStringSecurityDescriptorToSecurityDescriptorW(security.c_str(), SDDL_REVISION_1, &descriptor, nullptr);
    const UniqueLocalMemory descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HANDLE h = CreateFileMappingW(INVALID_HANDLE_VALUE, descriptor ? &attributes : nullptr, PAGE_READWRITE, 0,
                                  sizeof(Record), kName);
    bool created = h && GetLastError() != ERROR_ALREADY_EXISTS;
    // An elevated copy lets this one read its record only.
    if (!h) h = OpenFileMappingW(FILE_MAP_READ, FALSE, kName);
    name_ = UniqueHandle(h);
    auto* record = h ? static_cast<Record*>(MapViewOfFile(h, created ? FILE_MAP_READ | FILE_MAP_WRITE : FILE_MAP_READ,
                                                          0, 0, sizeof(Record)))
                     : nullptr;
    if (created && record) {
        InterlockedExchange(&record->processId, static_cast<LONG>(GetCurrentProcessId()));
        UnmapViewOfFile(record);
        return;
    }
    // The name is someone else's. A copy that has just claimed it may not have written its id or
    // made its first window yet.
    const ULONGLONG deadline = GetTickCount64() + 1000;
    do {
        const DWORD pid = record ? static_cast<DWORD>(record->processId) : 0;
        if (runsThisProgram(pid)) other_ = windowOf(pid);
        // Not a trustworthy holder, or no record at all: a copy of this program may still run.
        if (!other_) other_ = windowOf(0);
        if (other_) break;
        Sleep(50);
    } while (GetTickCount64() < deadline);
    name_.reset();  // held by the running copy, or by a stranger: not ours either way
    if (record) UnmapViewOfFile(record);
}

void SingleCopy::handOver() const {
    if (!other_) return;
    DWORD pid = 0;
    GetWindowThreadProcessId(other_, &pid);
    AllowSetForegroundWindow(pid);
    PostMessageW(other_, comeForwardMessage(), 0, 0);
}

UINT SingleCopy::comeForwardMessage() {
    static const UINT message = RegisterWindowMessageW(DVA_PRODUCT_NAME L": öne gel");
    return message;
}

}  // namespace dva
