// What the command line asks of a start of the program. Portable, so it is unit-tested natively.
//
// "/signin", written by the sign-in task: the program then starts straight into protection,
// hidden behind its notification-area icon, without the splash. "/support": the program started
// itself to show only the support window. Each counts in any letter case, given once or more,
// anywhere among other words; every other word is ignored.
#pragma once

#include <iterator>
#include <string_view>

#include "start_kind.h"

namespace dva {

struct StartOptions {
    StartKind kind = StartKind::Ordinary;
    // "/support": the copy the program starts to show the support window with the signed-in
    // user's own rights (no splash, no main window, no scan, no claim on the single-copy name).
    bool supportOnly = false;
};

inline constexpr wchar_t kSignInSwitch[] = L"/signin";
inline constexpr wchar_t kSupportSwitch[] = L"/support";

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
    size_t at = 0;
    while (at < arguments.size()) {
        while (at < arguments.size() && isSpace(arguments[at])) ++at;
        if (at == arguments.size()) break;
        // One word: up to the next blank outside quotes; the quotes themselves are not part of it.
        wchar_t word[16] = {};
        size_t length = 0;
        bool quoted = false, tooLong = false;
        for (; at < arguments.size() && (quoted || !isSpace(arguments[at])); ++at) {
            if (arguments[at] == L'"') {
                quoted = !quoted;
            } else if (length < std::size(word)) {
                word[length++] = arguments[at];
            } else {
                tooLong = true;
            }
        }
        if (tooLong) continue;
        const std::wstring_view w(word, length);
        if (sameWord(w, kSignInSwitch)) options.kind = StartKind::SignIn;
        if (sameWord(w, kSupportSwitch)) options.supportOnly = true;
    }
    return options;
}

}  // namespace dva
