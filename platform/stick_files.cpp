#include "stick_files.h"

#include <algorithm>

#include "exact_file.h"
#include "number_text.h"
#include "refusals.h"

namespace dva {
namespace {

constexpr wchar_t kIndexName[] = L"index.tsv";
constexpr std::uint32_t kErrorNotReady = ERROR_NOT_READY;

OpResult lastError(BOOL ok) { return ok ? OpResult{} : OpResult{GetLastError()}; }

std::uint64_t fileTime(const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

stick::FileFacts factsOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {(std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow,
            info.dwFileAttributes,
            (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
            fileTime(info.ftCreationTime),
            fileTime(info.ftLastAccessTime),
            fileTime(info.ftLastWriteTime)};
}

std::wstring rootOf(wchar_t letter) { return {letter, L':', L'\\'}; }

// Opens a file of the stick (or with `folders`, a folder too) to look at, read or mark it, never
// through a link at its end: a reparse point is refused. Others may go on using it meanwhile.
ExactFile openToLook(std::wstring_view path, DWORD access, bool folders = false) {
    ExactFile file;
    HANDLE h = CreateFileW(longPath(path).c_str(), access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        file.result = OpResult{GetLastError()};
        return file;
    }
    file.handle.reset(h);
    if (!GetFileInformationByHandle(h, &file.info)) {
        file.result = OpResult{GetLastError()};
    } else if (file.info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        file.result = OpResult{kRefusedReparsePoint};
    } else if ((file.info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !folders) {
        file.result = OpResult{kErrorFileNotFound};
    }
    if (!file.result.ok()) file.handle.reset();
    return file;
}

}  // namespace

std::wstring longPath(std::wstring_view path) {
    if (path.rfind(L"\\\\?\\", 0) == 0) return std::wstring(path);
    return L"\\\\?\\" + std::wstring(path);
}

std::wstring Win32StickPort::fromAnsi(std::string_view bytes) const {
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

OpResult Win32StickPort::identify(wchar_t letter, stick::StickIdentity& identity) {
    const std::wstring root = rootOf(letter);
    wchar_t label[MAX_PATH + 1] = {};
    DWORD serial = 0;
    if (!GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, &serial, nullptr, nullptr, nullptr, 0))
        return OpResult{GetLastError()};
    // A card reader with no card may still name a volume: the stick is there when its root is.
    if (GetFileAttributesW(root.c_str()) == INVALID_FILE_ATTRIBUTES) return OpResult{kErrorNotReady};
    identity.volume = {serial, label};
    wchar_t guid[64] = {};
    identity.volumeGuid = GetVolumeNameForVolumeMountPointW(root.c_str(), guid, 64) ? guid : L"";
    return {};
}

OpResult Win32StickPort::listRoot(wchar_t letter, std::vector<stick::StickItem>& items) {
    WIN32_FIND_DATAW found{};
    HANDLE h = FindFirstFileExW(longPath(rootOf(letter) + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? OpResult{} : OpResult{error};
    }
    do {
        const std::wstring_view name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        items.push_back({std::wstring(name), found.dwFileAttributes,
                         (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow, fileTime(found.ftLastWriteTime)});
    } while (FindNextFileW(h, &found));
    const DWORD error = GetLastError();
    FindClose(h);
    return error == ERROR_NO_MORE_FILES ? OpResult{} : OpResult{error};
}

// Each folder on the way is looked at first: the system would follow a link among them.
OpResult Win32StickPort::itemAt(std::wstring_view path, stick::StickItem& item) {
    if (path.size() < 4 || path.find_first_of(L"*?") != std::wstring_view::npos) return {kErrorFileNotFound};
    std::size_t at = 3;  // after "E:\"
    while (true) {
        const std::size_t end = std::min(path.find(L'\\', at), path.size());
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(longPath(path.substr(0, end)).c_str(), GetFileExInfoStandard, &data))
            return OpResult{GetLastError()};
        if (end == path.size()) {
            item = {std::wstring(path.substr(path.rfind(L'\\') + 1)), data.dwFileAttributes,
                    (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow, fileTime(data.ftLastWriteTime)};
            return {};
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return {kRefusedReparsePoint};
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return {kErrorPathNotFound};
        at = end + 1;
    }
}

OpResult Win32StickPort::readStart(std::wstring_view path, std::size_t limit, std::string& bytes) {
    const ExactFile file = openToLook(path, GENERIC_READ);
    if (!file.result.ok()) return file.result;
    const std::uint64_t size = (std::uint64_t{file.info.nFileSizeHigh} << 32) | file.info.nFileSizeLow;
    bytes.assign(static_cast<std::size_t>(std::min<std::uint64_t>(size, limit)), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!ReadFile(file.handle.get(), bytes.data() + done, want, &got, nullptr)) return OpResult{GetLastError()};
        if (got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return {};
}

OpResult Win32StickPort::fileFacts(std::wstring_view path, stick::FileFacts& facts) {
    const ExactFile file = openToLook(path, 0);
    if (file.result.ok()) facts = factsOf(file.info);
    return file.result;
}

// The folder a worm cannot write its autorun file over. On NTFS it also gets the protected list
// that drive C's folder has; FAT keeps no lists.
OpResult Win32StickPort::makeHiddenFolder(std::wstring_view path) {
    const std::wstring full = longPath(path);
    if (const OpResult made = makeFolderAt(full); !made.ok()) return made;
    SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    return {};
}

// The one item's own marks: the folders on the way were looked at by the check (itemAt), and
// what a folder holds keeps its marks.
OpResult Win32StickPort::makeVisible(std::wstring_view path) {
    const ExactFile item = openToLook(path, FILE_WRITE_ATTRIBUTES, true);
    if (!item.result.ok()) return item.result;
    FILE_BASIC_INFO basic{};  // times of 0 are left as they are
    basic.FileAttributes = item.info.dwFileAttributes & ~DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM};
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;  // 0 would mean "unchanged"
    return lastError(SetFileInformationByHandle(item.handle.get(), FileBasicInfo, &basic, sizeof basic));
}

// For reading and deleting, letting others only read it meanwhile: nothing can change it between
// the copy and the delete.
OpResult Win32StickPort::openExact(std::wstring_view path, stick::PortFile& file, stick::FileFacts& facts) {
    // (Its marks too: a read-only file is deleted only once that mark is off.)
    ExactFile opened = openExactly(longPath(path), GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ);
    if (!opened.result.ok()) return opened.result;
    facts = factsOf(opened.info);
    file = keep(std::move(opened.handle));
    return {};
}

OpResult Win32StickPort::read(stick::PortFile file, std::span<std::byte> into, std::size_t& got) {
    got = 0;
    if (abandon_) return {ERROR_OPERATION_ABORTED};
    DWORD n = 0;
    if (!ReadFile(handleOf(file), into.data(), static_cast<DWORD>(std::min<std::size_t>(into.size(), 1u << 30)), &n, nullptr))
        return OpResult{GetLastError()};
    got = n;
    return {};
}

// Worms mark their files read-only, which the system will not delete: the mark is taken off first,
// and put back if the delete fails all the same.
OpResult Win32StickPort::deleteOpened(stick::PortFile file) {
    const HANDLE h = handleOf(file);
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition)) return {};
    const DWORD error = GetLastError();
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) || !(basic.FileAttributes & FILE_ATTRIBUTE_READONLY))
        return {error};
    const DWORD marks = basic.FileAttributes;
    basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
    basic.FileAttributes = (marks & ~DWORD{FILE_ATTRIBUTE_READONLY}) ? marks & ~DWORD{FILE_ATTRIBUTE_READONLY} : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic)) return {error};
    if (SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition)) return {};
    const DWORD again = GetLastError();
    basic.FileAttributes = marks;
    SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic);
    return {again};
}

void Win32StickPort::close(stick::PortFile file) { open_.erase(file.id); }

OpResult Win32StickPort::quarantine(std::wstring& folder) { return findQuarantine_(folder); }

OpResult Win32StickPort::quarantineSpace(std::uint64_t& used, std::uint64_t& freeOnDrive) {
    std::wstring folder;
    if (const OpResult found = quarantine(folder); !found.ok()) return found;
    used = 0;
    WIN32_FIND_DATAW found{};
    HANDLE h = FindFirstFileExW(longPath(folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                used += (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(longPath(folder + L"\\").c_str(), &available, nullptr, nullptr)) return OpResult{GetLastError()};
    freeOnDrive = available.QuadPart;
    return {};
}

// Named "~<time><count>.part": no executable extension, and never one that exists already.
OpResult Win32StickPort::createTemporary(stick::PortFile& file) {
    std::wstring folder;
    if (const OpResult found = quarantine(folder); !found.ok()) return found;
    static std::uint32_t count = 0;
    const std::wstring path =
        longPath(folder + L"\\~" + decimalText(static_cast<std::uint32_t>(GetTickCount64())) + L"-" + decimalText(++count) + L".part");
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return OpResult{GetLastError()};
    file = keep(UniqueHandle(h));
    return {};
}

OpResult Win32StickPort::write(stick::PortFile file, std::span<const std::byte> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!WriteFile(handleOf(file), bytes.data() + done, want, &n, nullptr)) return OpResult{GetLastError()};
        if (n == 0) return {ERROR_WRITE_FAULT};
        done += n;
    }
    return {};
}

OpResult Win32StickPort::flush(stick::PortFile file) { return lastError(FlushFileBuffers(handleOf(file))); }

OpResult Win32StickPort::rewind(stick::PortFile file) {
    return lastError(SetFilePointerEx(handleOf(file), LARGE_INTEGER{}, nullptr, FILE_BEGIN));
}

// Through the open handle, never over an existing file.
OpResult Win32StickPort::rename(stick::PortFile file, std::wstring_view name) {
    std::wstring folder;
    if (const OpResult found = quarantine(folder); !found.ok()) return found;
    const std::wstring target = longPath(folder + L"\\" + std::wstring(name));
    std::vector<std::byte> buffer(sizeof(FILE_RENAME_INFO) + (target.size() + 1) * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::copy(target.begin(), target.end(), info->FileName);
    info->FileName[target.size()] = L'\0';
    if (SetFileInformationByHandle(handleOf(file), FileRenameInfo, info, static_cast<DWORD>(buffer.size()))) return {};
    const DWORD error = GetLastError();
    return {error == ERROR_FILE_EXISTS ? stick::kErrorAlreadyExists : error};
}

void Win32StickPort::discard(stick::PortFile file) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    SetFileInformationByHandle(handleOf(file), FileDispositionInfo, &disposition, sizeof disposition);
    close(file);
}

OpResult Win32StickPort::appendIndexLine(std::string_view utf8Line) {
    std::wstring folder;
    if (const OpResult found = quarantine(folder); !found.ok()) return found;
    // Appended by one writer at a time; readers may look meanwhile.
    HANDLE h = CreateFileW(longPath(folder + L"\\" + kIndexName).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return OpResult{GetLastError()};
    const UniqueHandle index(h);
    DWORD n = 0;
    if (!WriteFile(index.get(), utf8Line.data(), static_cast<DWORD>(utf8Line.size()), &n, nullptr)) return OpResult{GetLastError()};
    if (n != utf8Line.size()) return {ERROR_WRITE_FAULT};
    return lastError(FlushFileBuffers(index.get()));
}

std::uint64_t Win32StickPort::utcNow() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return fileTime(now);
}

stick::PortFile Win32StickPort::keep(UniqueHandle handle) {
    open_.emplace(++lastId_, std::move(handle));
    return {lastId_};
}

HANDLE Win32StickPort::handleOf(stick::PortFile file) const {
    const auto it = open_.find(file.id);
    return it == open_.end() ? INVALID_HANDLE_VALUE : it->second.get();
}

}  // namespace dva
