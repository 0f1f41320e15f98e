// What the command line asks of a start of the program. Portable, so it is unit-tested natively.
//
// "/signin", written by the sign-in task: the program then starts straight into protection,
// hidden behind its notification-area icon, without the splash. "/support": the program started
// itself to show only the support window. Each counts in any letter case, given once or more,
// anywhere among other words; every other word is ignored.
//
// "/restore <SHA-256> [<folder>]", typed by an administrator: the program puts one file back from
// the quarantine and ends, before anything else of it starts. The switch counts in any letter
// case; the words after it are its own (a folder with blanks in double quotes), and a third one
// makes the start a usage error rather than a guess at what was meant.
#pragma once

#include <string>
#include <string_view>

#include "start_kind.h"

namespace dva {

struct StartOptions {
    StartKind kind = StartKind::Ordinary;
    // "/support": the copy the program starts to show the support window with the signed-in
    // user's own rights (no splash, no main window, no scan, no claim on the single-copy name).
    bool supportOnly = false;
    // "/restore": the words after it, as given (quotes taken off).
    bool restore = false;
    std::wstring restoreHash;    // empty when none was given
    std::wstring restoreFolder;  // empty: the file's original path
    bool restoreExtraWords = false;  // more than a hash and a folder followed the switch
};

inline constexpr wchar_t kSignInSwitch[] = L"/signin";
inline constexpr wchar_t kSupportSwitch[] = L"/support";
inline constexpr wchar_t kRestoreSwitch[] = L"/restore";

namespace start_options_detail {

constexpr wchar_t lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

constexpr bool sameWord(std::wstring_view word, std::wstring_view lowercase) {
    if (word.size() != lowercase.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (lower(word[i]) != lowercase[i]) return false;
    return true;
}

constexpr bool isSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

}  // namespace start_options_detail

// Reads the arguments the program was given (the command line without the program's own name,
// as WinMain receives it). Words are separated by blanks; a word in double quotes is one word
// with the quotes taken off, so "/signin" given quoted still counts.
constexpr StartOptions parseStartOptions(std::wstring_view arguments) {
    using namespace start_options_detail;
    StartOptions options;
    int afterRestore = -1;  // words read since "/restore", once it was given
    size_t at = 0;
    while (at < arguments.size()) {
        while (at < arguments.size() && isSpace(arguments[at])) ++at;
        if (at == arguments.size()) break;
        // One word: up to the next blank outside quotes; the quotes themselves are not part of it.
        std::wstring word;
        bool quoted = false;
        for (; at < arguments.size() && (quoted || !isSpace(arguments[at])); ++at) {
            if (arguments[at] == L'"') {
                quoted = !quoted;
            } else {
                word += arguments[at];
            }
        }
        if (afterRestore >= 0) {
            // The restore's own words: the hash, then the folder; nothing more.
            if (afterRestore == 0) options.restoreHash = word;
            if (afterRestore == 1) options.restoreFolder = word;
            if (afterRestore >= 2) options.restoreExtraWords = true;
            ++afterRestore;
            continue;
        }
        if (sameWord(word, kSignInSwitch)) options.kind = StartKind::SignIn;
        if (sameWord(word, kSupportSwitch)) options.supportOnly = true;
        if (sameWord(word, kRestoreSwitch)) {
            options.restore = true;
            afterRestore = 0;
        }
    }
    return options;
}

}  // namespace dva
