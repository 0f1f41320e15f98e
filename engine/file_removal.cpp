#include "file_removal.h"

#include <string>

#include "failure_text.h"

namespace dva {

OpResult removeFile(Runtime& rt, std::wstring_view path, Presence seen) {
    if (seen == Presence::PresentReadOnly) {
        // A failure here shows up as the delete's own error, so its result is not needed.
        rt.clearReadOnly(path);
    }
    OpResult result = rt.deleteFile(path);
    if (result.error == kErrorFileNotFound || result.error == kErrorPathNotFound) {
        return {};  // gone already: the threat is no longer there
    }
    // Deleting a folder as a file is refused; a refused delete of a path that no longer tests
    // present is a file that has been replaced meanwhile, not one that resists.
    if (result.error == kErrorAccessDenied && rt.probe(path) == Presence::Absent) return {};
    return result;
}

void reportFailure(Runtime& rt, std::wstring_view what, std::wstring_view path, OpResult result) {
    rt.message(failureText(what, path, rt.errorReason(result.error)), L"Hata", MessageIcon::Error);
}

void reportDeleteFailure(Runtime& rt, std::wstring_view path, OpResult result) {
    reportFailure(rt, kNotDeletedSentence, path, result);
}

}  // namespace dva
