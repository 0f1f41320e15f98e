// The file operations of the engine's port on Win32. Each acts on the very path it is given:
// a 32-bit program on 64-bit Windows is not redirected from System32 to SysWOW64, and the ones
// that change a file refuse links, redirected folders and files with other names.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "handles.h"

#include "runtime.h"

namespace dva {

// What the presence test sees: a plain file, not hidden or system, or nothing.
Presence presenceAt(std::wstring_view path);

// Both act only on the file at exactly that path: a path that leads elsewhere through a link or a
// folder junction, a link itself, or a file with more than one name is refused with one of the
// kRefused... codes and left as it is. A folder there now counts as the file having gone.
// `describe` is the system's account of the opened file unless a test gives its own (the file
// system decides what counts as a link).
using FileDescription = BOOL(WINAPI*)(HANDLE, LPBY_HANDLE_FILE_INFORMATION);
OpResult clearReadOnlyExactly(std::wstring_view path, FileDescription describe = GetFileInformationByHandle);
OpResult deleteExactly(std::wstring_view path, FileDescription describe = GetFileInformationByHandle);

// The file at exactly `path`, opened with `access` (and the right to read its attributes) without
// following a link at its end, sharing it with others as `share` says, or the reason it is left
// alone: a link (symbolic link, junction, any reparse point) itself (kRefusedReparsePoint); a path
// whose folders lead elsewhere, so that the file opened is not the one named (kRefusedRedirected);
// a file with other names (hard links), through which a file elsewhere would change too
// (kRefusedHardLinks); a folder (as if the file had gone). `info` is what the system says of it.
struct ExactFile {
    UniqueHandle handle;
    OpResult result;
    BY_HANDLE_FILE_INFORMATION info{};
};
ExactFile openExactly(const std::wstring& path, DWORD access, DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      FileDescription describe = GetFileInformationByHandle);

// Makes a folder that users may look into but not delete, rename, replace or change (the
// system and administrators keep every right): the protection folder in a drive's root.
// `create` is the system's CreateDirectoryW unless a test gives its own.
using FolderCreation = BOOL(WINAPI*)(LPCWSTR, LPSECURITY_ATTRIBUTES);
OpResult makeFolderAt(std::wstring_view path, FolderCreation create = CreateDirectoryW);

}  // namespace dva
