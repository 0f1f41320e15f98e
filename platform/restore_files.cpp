#include "restore_files.h"

#include <windows.h>

#include <string>

#include "product_config.h"
#include "quarantine_folder.h"
#include "win32_runtime.h"

namespace dva {
namespace {

OpResult lastError(BOOL ok) { return ok ? OpResult{} : OpResult{GetLastError()}; }

// The index is a line per move, a few hundred bytes each: a larger one is no index of ours.
constexpr LONGLONG kIndexLimit = 64ll << 20;

FILETIME fileTime(std::uint64_t value) {
    return {static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

// Each line ends in CR LF, as files and consoles on Windows expect.
std::wstring withWindowsLineEnds(std::wstring_view text) {
    std::wstring lines;
    for (const wchar_t c : text) {
        if (c == L'\n') lines += L'\r';
        lines += c;
    }
    return lines + L"\r\n";
}

bool writeTo(HANDLE out, const std::wstring& lines) {
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) return WriteConsoleW(out, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    // A pipe or a file: UTF-8.
    const int size = WideCharToMultiByte(CP_UTF8, 0, lines.data(), static_cast<int>(lines.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, lines.data(), static_cast<int>(lines.size()), bytes.data(), size, nullptr, nullptr);
    return WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
}

// A windowed program has no console of its own: the standard output it was given (a pipe or a
// file, as scripts and Wine give it), else the console of the command prompt it was started
// from, else a box.
void tell(const std::wstring& text, bool failed) {
    const std::wstring lines = withWindowsLineEnds(text);
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN && writeTo(out, lines)) return;
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr);
        // The prompt was printed when the command started this windowed program: a line of its own.
        const bool told = console != INVALID_HANDLE_VALUE && writeTo(console, L"\r\n" + lines);
        if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
        FreeConsole();
        if (told) return;
    }
    MessageBoxW(nullptr, text.c_str(), DVA_PRODUCT_NAME,
                MB_OK | MB_SETFOREGROUND | (failed ? MB_ICONERROR : MB_ICONINFORMATION));
}

// A folder as the user typed it ("geri", "..\\x", "D:\\Geri Alınan\\"), as a full path.
std::wstring fullPath(std::wstring_view folder) {
    const std::wstring given(folder);
    const DWORD size = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (size == 0) return given;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return given;
    full.resize(length);
    return full;
}

}  // namespace

int runRestore(std::wstring_view hash, std::wstring_view folder, bool extraWords) {
    Win32Runtime runtime;
    stick::RestoreResult result;
    // Nothing is made, not even the quarantine's folder, for a command that cannot be meant.
    if (extraWords || !stick::normalHash(hash)) {
        result.outcome = stick::RestoreOutcome::Usage;
    } else {
        std::wstring quarantine;
        if (const OpResult found = quarantineFolder(quarantine); !found.ok()) {
            tell(L"Karantina klasörü kullanılamadı.\n" + runtime.errorReason(found.error), true);
            return stick::restoreExitCode(stick::RestoreOutcome::Failed);
        }
        Win32RestorePort port(quarantine);
        result = stick::restoreFromQuarantine(port, runtime, hash, folder.empty() ? std::wstring() : fullPath(folder));
    }
    tell(stick::restoreReport(result, runtime), result.outcome != stick::RestoreOutcome::Restored);
    return stick::restoreExitCode(result.outcome);
}

std::wstring withLongPrefix(std::wstring_view path) {
    if (path.starts_with(L"\\\\?\\")) return std::wstring(path);
    if (path.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + std::wstring(path.substr(2));
    return L"\\\\?\\" + std::wstring(path);
}

Win32RestorePort::~Win32RestorePort() {
    for (const auto& [id, open] : open_) CloseHandle(open.handle);
}

stick::PortFile Win32RestorePort::remember(HANDLE handle, std::wstring path) {
    open_[++next_] = {handle, std::move(path)};
    return {next_};
}

HANDLE Win32RestorePort::handleOf(stick::PortFile file) const { return open_.at(file.id).handle; }

OpResult Win32RestorePort::readIndex(std::string& utf8) {
    // Others may append to it meanwhile (a running copy of the program moving a threat).
    const HANDLE h = CreateFileW(withLongPrefix(quarantine_ + L"\\index.tsv").c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {GetLastError()};
    LARGE_INTEGER size{};
    OpResult result = lastError(GetFileSizeEx(h, &size));
    if (result.ok() && size.QuadPart > kIndexLimit) result = {ERROR_FILE_TOO_LARGE};
    if (result.ok()) {
        utf8.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t at = 0;
        while (result.ok() && at < utf8.size()) {
            DWORD got = 0;
            result = lastError(ReadFile(h, utf8.data() + at, static_cast<DWORD>(utf8.size() - at), &got, nullptr));
            if (got == 0) break;
            at += got;
        }
        utf8.resize(at);
    }
    CloseHandle(h);
    return result;
}

OpResult Win32RestorePort::openKept(std::wstring_view name, stick::PortFile& file) {
    // Nobody may change it while it is checked and copied.
    std::wstring path = withLongPrefix(quarantine_ + L"\\" + std::wstring(name));
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {GetLastError()};
    BY_HANDLE_FILE_INFORMATION info{};
    OpResult result = lastError(GetFileInformationByHandle(h, &info));
    if (result.ok() && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) result = {kRefusedReparsePoint};
    if (result.ok() && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) result = {ERROR_FILE_NOT_FOUND};
    if (!result.ok()) {
        CloseHandle(h);
        return result;
    }
    file = remember(h, std::move(path));
    return {};
}

OpResult Win32RestorePort::read(stick::PortFile file, std::span<std::byte> into, std::size_t& got) {
    DWORD read = 0;
    const BOOL ok = ReadFile(handleOf(file), into.data(), static_cast<DWORD>(into.size()), &read, nullptr);
    got = read;
    return lastError(ok);
}

OpResult Win32RestorePort::rewind(stick::PortFile file) {
    return lastError(SetFilePointerEx(handleOf(file), LARGE_INTEGER{}, nullptr, FILE_BEGIN));
}

OpResult Win32RestorePort::createNew(std::wstring_view path, stick::PortFile& file) {
    // CREATE_NEW fails on anything there; with FILE_FLAG_OPEN_REPARSE_POINT a link there counts as
    // something, instead of its target being made.
    std::wstring longPath = withLongPrefix(path);
    const HANDLE h = CreateFileW(longPath.c_str(), GENERIC_WRITE | DELETE | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {GetLastError()};
    file = remember(h, std::move(longPath));
    return {};
}

OpResult Win32RestorePort::write(stick::PortFile file, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(handleOf(file), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
            return {GetLastError()};
        if (written == 0) return {ERROR_WRITE_FAULT};
        bytes = bytes.subspan(written);
    }
    return {};
}

OpResult Win32RestorePort::flush(stick::PortFile file) { return lastError(FlushFileBuffers(handleOf(file))); }

OpResult Win32RestorePort::setFacts(stick::PortFile file, std::uint32_t attributes, std::uint64_t created,
                                    std::uint64_t accessed, std::uint64_t written) {
    FILE_BASIC_INFO basic{};
    basic.CreationTime.QuadPart = static_cast<LONGLONG>(created);
    basic.LastAccessTime.QuadPart = static_cast<LONGLONG>(accessed);
    basic.LastWriteTime.QuadPart = static_cast<LONGLONG>(written);
    basic.ChangeTime.QuadPart = 0;  // the system's own
    basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;  // 0 would mean "unchanged"
    if (SetFileInformationByHandle(handleOf(file), FileBasicInfo, &basic, sizeof basic)) return {};
    // Systems that do not take the times with the attributes: the times through SetFileTime.
    const DWORD error = GetLastError();
    const FILETIME c = fileTime(created), a = fileTime(accessed), w = fileTime(written);
    if (!SetFileTime(handleOf(file), &c, &a, &w)) return {error};
    basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = basic.LastWriteTime.QuadPart = 0;
    return lastError(SetFileInformationByHandle(handleOf(file), FileBasicInfo, &basic, sizeof basic));
}

void Win32RestorePort::discard(stick::PortFile file) {
    const auto it = open_.find(file.id);
    if (it == open_.end()) return;
    const HANDLE h = it->second.handle;
    // A read-only mark set a moment ago would keep it from being deleted.
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic);
    FILE_DISPOSITION_INFO disposition{TRUE};
    const BOOL marked = SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(h);
    if (!marked) DeleteFileW(it->second.path.c_str());
    open_.erase(it);
}

void Win32RestorePort::close(stick::PortFile file) {
    const auto it = open_.find(file.id);
    if (it == open_.end()) return;
    CloseHandle(it->second.handle);
    open_.erase(it);
}

}  // namespace dva
