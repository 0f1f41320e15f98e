#include "launch_words.h"

#include <algorithm>
#include <utility>

namespace dva::stick {
namespace {

// Lowers the capitals of ASCII, Latin-1 and Latin Extended-A to their small letters; every other
// character stays as it is (İ U+0130 and ı U+0131 among them).
wchar_t fold(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c + 0x20);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<wchar_t>(c + 0x20);
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return static_cast<wchar_t>(c | 1);
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? static_cast<wchar_t>(c + 1) : c;
    if (c == 0x178) return 0xFF;
    return c;
}

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

bool isSwitch(std::wstring_view word) { return !word.empty() && (word[0] == L'/' || word[0] == L'-'); }

// The words of a command inside a shell's command line: split at blanks and at the shell's
// operators and separators, quotes dropped, and outside quotes "^" dropped with the character
// after it taken as it is. A worm writes "/c start x.vbs&start explorer Belgeler" and "s^tart".
std::vector<std::wstring> commandWords(std::wstring_view text) {
    std::vector<std::wstring> words;
    std::wstring word;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'"' || c == L'\'') {
            quoted = !quoted;
        } else if (!quoted && c == L'^') {
            if (i + 1 < text.size()) word += text[++i];
        } else if (!quoted && (isBlank(c) || std::wstring_view(L"&|<>();,").find(c) != std::wstring_view::npos)) {
            if (!word.empty()) words.push_back(std::exchange(word, {}));
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

// Every word of the commands in `words`, each counting as a program only by its extension.
void addCommandWords(std::vector<HostedWord>& hosted, const std::vector<std::wstring>& words, std::size_t from) {
    for (std::size_t i = from; i < words.size(); ++i) {
        for (std::wstring& word : commandWords(words[i])) {
            if (!isSwitch(word)) hosted.push_back({std::move(word), false});
        }
    }
}

// The arguments after the program, from `i` on: quotes, "" inside quotes and backslashes before a
// quote honoured as CommandLineToArgvW honours them.
void splitArguments(std::wstring_view line, std::size_t i, std::vector<std::wstring>& words) {
    while (true) {
        while (i < line.size() && isBlank(line[i])) ++i;
        if (i == line.size()) break;
        std::wstring word;
        bool quoted = false;
        while (i < line.size() && (quoted || !isBlank(line[i]))) {
            std::size_t slashes = 0;
            while (i < line.size() && line[i] == L'\\') ++slashes, ++i;
            if (i < line.size() && line[i] == L'"') {
                // 2n backslashes and a quote: n backslashes and the quote toggles; 2n+1: n and a quote.
                word.append(slashes / 2, L'\\');
                if (slashes % 2 == 1) {
                    word += L'"';
                } else if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
                    word += L'"';  // "" inside quotes: a quote
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                word.append(slashes, L'\\');
                if (i < line.size() && (quoted || !isBlank(line[i]))) word += line[i++];
            }
        }
        words.push_back(std::move(word));
    }
}

bool isDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

bool sameName(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return fold(x) == fold(y); });
}

bool endsWithName(std::wstring_view text, std::wstring_view suffix) {
    return text.size() >= suffix.size() && sameName(text.substr(text.size() - suffix.size()), suffix);
}

std::wstring foldedName(std::wstring_view name) {
    std::wstring result(name);
    std::transform(result.begin(), result.end(), result.begin(), fold);
    return result;
}

std::wstring_view lastComponent(std::wstring_view path) {
    const std::size_t at = path.find_last_of(L"\\/");
    return at == std::wstring_view::npos ? path : path.substr(at + 1);
}

bool isProgramName(std::wstring_view name) {
    static constexpr std::wstring_view kExtensions[] = {L".exe", L".com", L".scr", L".pif", L".bat", L".cmd", L".vbs",
                                                        L".vbe", L".js",  L".jse", L".wsf", L".ps1", L".dll"};
    return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                       [name](std::wstring_view ext) { return name.size() > ext.size() && endsWithName(name, ext); });
}

const Host* findHost(std::wstring_view programWord) {
    std::wstring_view name = lastComponent(programWord);
    if (endsWithName(name, L".exe")) name.remove_suffix(4);
    for (const Host& host : kHosts) {
        if (sameName(name, host.name)) return &host;
    }
    return nullptr;
}

std::vector<std::wstring> splitCommandLine(std::wstring_view line) {
    std::vector<std::wstring> words;
    std::size_t i = 0;
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i == line.size()) return words;

    // The program: taken as it stands, up to the closing quote or the first blank.
    if (line[i] == L'"') {
        const std::size_t end = line.find(L'"', i + 1);
        words.emplace_back(line.substr(i + 1, end == std::wstring_view::npos ? end : end - i - 1));
        i = end == std::wstring_view::npos ? line.size() : end + 1;
    } else {
        const std::size_t start = i;
        while (i < line.size() && !isBlank(line[i])) ++i;
        words.emplace_back(line.substr(start, i - start));
    }

    splitArguments(line, i, words);
    return words;
}

std::vector<std::wstring> argumentWords(std::wstring_view arguments) {
    std::vector<std::wstring> split;
    splitArguments(arguments, 0, split);
    std::vector<std::wstring> words;
    for (std::wstring& argument : split) {
        std::vector<std::wstring> pieces = commandWords(argument);
        // The argument whole as well, when it holds more than one word or an escape ("my x.vbs").
        if (!pieces.empty() && (pieces.size() > 1 || pieces[0] != argument) && !isSwitch(argument))
            words.push_back(std::move(argument));
        for (std::wstring& piece : pieces) {
            if (!isSwitch(piece)) words.push_back(std::move(piece));
        }
    }
    return words;
}

Launch readLaunch(std::wstring_view line) {
    Launch launch;
    const std::vector<std::wstring> words = splitCommandLine(line);
    if (words.empty()) return launch;
    launch.program = words[0];
    launch.host = findHost(words[0]);
    if (launch.host == nullptr) return launch;

    switch (launch.host->argument) {
    case HostArgument::FirstWord:
    case HostArgument::BeforeComma:
        for (std::size_t i = 1; i < words.size(); ++i) {
            if (words[i].empty() || isSwitch(words[i])) continue;
            std::wstring word = words[i];
            if (launch.host->argument == HostArgument::BeforeComma) word.resize(std::min(word.size(), word.find(L',')));
            launch.hosted.push_back({std::move(word), true});
            break;
        }
        break;
    case HostArgument::ScriptFile:
        for (std::size_t i = 1; i + 1 < words.size(); ++i) {
            if (sameName(words[i], L"-File") || sameName(words[i], L"-f") || sameName(words[i], L"/File")) {
                launch.hosted.push_back({words[i + 1], true});
                return launch;
            }
        }
        addCommandWords(launch.hosted, words, 1);
        break;
    case HostArgument::CommandShell:
        for (std::size_t i = 1; i < words.size(); ++i) {
            const std::wstring_view word = words[i];
            if (word.size() >= 2 && word[0] == L'/' && (fold(word[1]) == L'c' || fold(word[1]) == L'k')) {
                // "/c" alone, or glued to its command ("/cstart x.vbs").
                std::vector<std::wstring> rest(words.begin() + static_cast<std::ptrdiff_t>(i), words.end());
                rest[0].erase(0, 2);
                addCommandWords(launch.hosted, rest, 0);
                break;
            }
        }
        break;
    }
    return launch;
}

StickPath locate(std::wstring_view word, wchar_t letter) {
    std::wstring path(word);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    std::wstring_view rest = path;
    if (rest.empty() || rest.find(L'%') != std::wstring_view::npos) return {};
    if (rest.starts_with(L"\\\\?\\") || rest.starts_with(L"\\\\.\\")) {
        rest.remove_prefix(4);
        if (rest.size() < 2 || rest[1] != L':') return {};  // a device or a network path
    } else if (rest.starts_with(L"\\\\")) {
        return {};  // a network path
    }
    if (rest.size() >= 2 && rest[1] == L':') {
        if (!isDriveLetter(rest[0]) || fold(rest[0]) != fold(letter)) return {};
        rest.remove_prefix(2);
    }
    if (rest.find(L':') != std::wstring_view::npos) return {};  // a URL, a stream, a device

    // Components from the root: "." dropped, ".." climbs no higher than the root, and trailing
    // dots and blanks dropped from each name as Windows drops them.
    std::vector<std::wstring_view> parts;
    while (!rest.empty()) {
        const std::size_t at = rest.find(L'\\');
        std::wstring_view part = rest.substr(0, at);
        rest = at == std::wstring_view::npos ? std::wstring_view{} : rest.substr(at + 1);
        if (part == L"..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        while (!part.empty() && (part.back() == L'.' || part.back() == L' ')) part.remove_suffix(1);
        if (!part.empty()) parts.push_back(part);
    }
    StickPath found{true, {}};
    for (const std::wstring_view part : parts) {
        if (!found.relative.empty()) found.relative += L'\\';
        found.relative += part;
    }
    return found;
}

}  // namespace dva::stick
