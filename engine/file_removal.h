// Removing a detected file, shared by the threat scan and AutoRun protection.
#pragma once

#include <string_view>

#include "runtime.h"

namespace dva {

// Deletes the file, clearing a read-only mark first. A file that is already gone counts as
// removed: the result is then success. So does a path that the presence test no longer sees
// after the delete was refused: a folder now stands there (AutoRun protection may have replaced
// the file while a box was open), and a folder is no threat.
OpResult removeFile(Runtime& rt, std::wstring_view path, Presence seen);

// Tells the user, in one error box, that an operation on `path` failed and why.
// `what` is the sentence before the path, e.g. L"Koruma klasörü oluşturulamadı: ".
void reportFailure(Runtime& rt, std::wstring_view what, std::wstring_view path, OpResult result);

// The first words of the error box for a threat file that could not be deleted, before its path.
inline constexpr std::wstring_view kNotDeletedSentence = L"Tehdit dosyası silinemedi: ";

// The error box for a threat file that could not be deleted.
void reportDeleteFailure(Runtime& rt, std::wstring_view path, OpResult result);

}  // namespace dva
