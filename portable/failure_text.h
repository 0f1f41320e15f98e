// The text of an error box for an operation on a path that failed: what failed, ending in the
// path, and the system's reason on the next line. Every such box of the program reads alike.
#pragma once

#include <string>
#include <string_view>

namespace dva {

// `sentence` is the words before the path, e.g. L"Koruma klasörü oluşturulamadı: ".
inline std::wstring failureText(std::wstring_view sentence, std::wstring_view path, std::wstring_view reason) {
    std::wstring text;
    text.reserve(sentence.size() + path.size() + 1 + reason.size());
    text += sentence;
    text += path;
    text += L'\n';
    text += reason;
    return text;
}

}  // namespace dva
