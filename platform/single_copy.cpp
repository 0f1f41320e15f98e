#include "single_copy.h"

#include <string>

#include "product_config.h"
#include "window_classes.h"

namespace dva {
namespace {

constexpr wchar_t kName[] = DVA_SINGLE_COPY_NAME;

// The first copy's record in the named object.
struct Record {
    volatile LONG processId;
};

std::wstring fileName(std::wstring path) { return path.substr(path.find_last_of(L"\\/") + 1); }

// Whether the process runs a program file of this program's name: an object or a window of the
// same name made by another program is not taken for a running copy.
bool runsThisProgram(DWORD pid) {
    wchar_t self[MAX_PATH] = {}, other[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return false;
    DWORD size = MAX_PATH;
    const BOOL ok = QueryFullProcessImageNameW(process.get(), 0, other, &size);
    return ok && CompareStringOrdinal(fileName(self).c_str(), -1, fileName(other).c_str(), -1, TRUE) == CSTR_EQUAL;
}

struct WindowSearch {
    DWORD pid;
    HWND main = nullptr, splash = nullptr;
};

BOOL CALLBACK lookAtWindow(HWND h, LPARAM lp) {
    auto& search = *reinterpret_cast<WindowSearch*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    wchar_t name[16] = {};
    if (owner != search.pid || !GetClassNameW(h, name, 16)) return TRUE;
    if (std::wstring(name) == window_class::kMain) search.main = h;
    if (std::wstring(name) == window_class::kSplash) search.splash = h;
    return TRUE;
}

// The main window of the process, or its splash while it has not handed over yet.
HWND windowOf(DWORD pid) {
    WindowSearch search{pid};
    EnumWindows(lookAtWindow, reinterpret_cast<LPARAM>(&search));
    return search.main ? search.main : search.splash;
}

}  // namespace

SingleCopy::SingleCopy() {
    HANDLE h = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Record), kName);
    const DWORD created = GetLastError();
    if (!h) return;  // not even readable: run as if alone
    name_ = UniqueHandle(h);
    auto* record = static_cast<Record*>(MapViewOfFile(h, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(Record)));
    if (!record) return;
    if (created != ERROR_ALREADY_EXISTS) {
        InterlockedExchange(&record->processId, static_cast<LONG>(GetCurrentProcessId()));
    } else {
        // A copy that has just claimed the name may not have written its id or made its first
        // window yet.
        const ULONGLONG deadline = GetTickCount64() + 1000;
        do {
            const auto pid = static_cast<DWORD>(InterlockedCompareExchange(&record->processId, 0, 0));
            if (pid && pid != GetCurrentProcessId() && runsThisProgram(pid)) other_ = windowOf(pid);
            if (other_) break;
            Sleep(50);
        } while (GetTickCount64() < deadline);
        name_.reset();  // held by the running copy, or by a stranger: not ours either way
    }
    UnmapViewOfFile(record);
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
