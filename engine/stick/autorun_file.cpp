#include "autorun_file.h"

#include <cstdint>

#include "launch_words.h"

namespace dva::stick {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendCodePoint(std::wstring& out, char32_t c) {
    if (c == 0) return;  // NULs pad a file or split its words: dropped
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(c);
}

// Decodes UTF-8; an invalid sequence becomes U+FFFD and makes the result false.
bool decodeUtf8(std::string_view bytes, std::wstring& out) {
    bool valid = true;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
        char32_t c = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
        bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < bytes.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
            ok = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are no UTF-8.
        static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        ok = ok && c >= kLeast[extra] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
        if (!ok) {
            valid = false;
            appendCodePoint(out, kReplacement);
            ++i;
            continue;
        }
        appendCodePoint(out, c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return valid;
}

std::wstring decodeUtf16Le(std::string_view bytes) {
    std::wstring out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t unit = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            const char32_t low = static_cast<unsigned char>(bytes[i + 2]) | (static_cast<unsigned char>(bytes[i + 3]) << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) unit = kReplacement;  // a lone half
        appendCodePoint(out, unit);
    }
    return out;
}

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view trim(std::wstring_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool isAutorunSection(std::wstring_view name) {
    return sameName(name, L"AutoRun") || (name.size() > 8 && sameName(name.substr(0, 8), L"AutoRun."));
}

// open, shellexecute, or shell\<verb>\command with a verb.
bool isStartingKey(std::wstring_view key) {
    if (sameName(key, L"open") || sameName(key, L"shellexecute")) return true;
    constexpr std::wstring_view kShell = L"shell\\", kCommand = L"\\command";
    return key.size() > kShell.size() + kCommand.size() && sameName(key.substr(0, kShell.size()), kShell) &&
           endsWithName(key, kCommand) &&
           trim(key.substr(kShell.size(), key.size() - kShell.size() - kCommand.size())).size() > 0;
}

}  // namespace

std::wstring decodeAutorunText(std::string_view bytes, const AnsiCodePage& ansi) {
    bytes = bytes.substr(0, kAutorunReadLimit);
    std::wstring text;
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        decodeUtf8(bytes.substr(3), text);
    } else if (bytes.starts_with("\xFF\xFE")) {
        text = decodeUtf16Le(bytes.substr(2));
    } else if (!decodeUtf8(bytes, text)) {
        text.clear();
        for (const wchar_t c : ansi.fromAnsi(bytes)) {
            if (c != 0) text += c;
        }
    }
    return text;
}

std::vector<AutorunEntry> readAutorunEntries(std::string_view bytes, const AnsiCodePage& ansi) {
    const std::wstring text = decodeAutorunText(bytes, ansi);
    std::vector<AutorunEntry> entries;
    std::wstring_view section;
    bool inAutorun = false;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find_first_of(L"\r\n", at);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring_view line = trim(std::wstring_view(text).substr(at, end - at));
        at = end + 1;

        if (line.empty() || line.front() == L';') continue;
        if (line.front() == L'[') {
            const std::size_t close = line.find(L']');
            section = trim(line.substr(1, close == std::wstring_view::npos ? close : close - 1));
            inAutorun = isAutorunSection(section);
            continue;
        }
        const std::size_t equals = line.find(L'=');
        if (!inAutorun || equals == std::wstring_view::npos) continue;
        const std::wstring_view key = trim(line.substr(0, equals));
        const std::wstring_view command = trim(line.substr(equals + 1));
        if (isStartingKey(key) && !command.empty()) entries.push_back({std::wstring(section), std::wstring(key), std::wstring(command)});
    }
    return entries;
}

}  // namespace dva::stick
