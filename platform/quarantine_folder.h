// The folder a stick's threats are moved into, and /restore takes them back from.
#pragma once

#include <string>

#include "exact_file.h"  // FileDescription
#include "runtime.h"  // OpResult

namespace dva {

// The quarantine's folder, made if missing, without a trailing backslash (and without the long-path
// prefix): %ProgramData%\Dravonil Veriz Avize\quarantine for a copy running elevated
// (administrators), %LOCALAPPDATA%\Dravonil Veriz Avize\quarantine for a standard user's copy.
// Both folders are made with a list of their own, protected from inheritance: Administrators and
// SYSTEM full control (a user's copy: that user and SYSTEM). A folder there (or its parent) that is
// a reparse point, is no folder, or whose owner is not Administrators, SYSTEM or (user's copy) the
// user, is never used: kRefusedQuarantineLink, kRefusedQuarantineOwner, or the system's error code.
OpResult quarantineFolder(std::wstring& folder);

namespace quarantine_folder_detail {

// The same below `base` (a known folder, without a trailing backslash), for an administrators'
// copy or a user's: what quarantineFolder does once it knows where, and what the tests call with a
// base of their own. `describe` is the system's account of each opened folder unless a test gives
// its own (the file system decides what counts as a link).
OpResult quarantineFolderIn(const std::wstring& base, bool administrators, std::wstring& folder,
                            FileDescription describe = GetFileInformationByHandle);

// Whether the file system keeps who owns a file: not under Wine, which reads every file as the
// running user's. There the owner check is left out (a link is still refused).
bool ownersKept();

// Whether a folder's owner may be trusted: Administrators, SYSTEM, or `user` (the user's copy's
// own user; null for the administrators' copy).
bool trustedOwner(PSID owner, PSID user);

// The security descriptor (SDDL) each of the two folders is made with. `userSid` is the user's
// SID as text; unused for the administrators' copy.
std::wstring folderSecurity(bool administrators, const std::wstring& userSid);

}  // namespace quarantine_folder_detail

}  // namespace dva
