// The file operations of the engine's port on Win32. Each acts on the very path it is given:
// a 32-bit program on 64-bit Windows is not redirected from System32 to SysWOW64, and the ones
// that change a file refuse links, redirected folders and files with other names.
#pragma once

#include <windows.h>

#include <string_view>

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

// Makes a folder that users may look into but not delete, rename, replace or change (the
// system and administrators keep every right): the protection folder in a drive's root.
// `create` is the system's CreateDirectoryW unless a test gives its own.
using FolderCreation = BOOL(WINAPI*)(LPCWSTR, LPSECURITY_ATTRIBUTES);
OpResult makeFolderAt(std::wstring_view path, FolderCreation create = CreateDirectoryW);

}  // namespace dva
