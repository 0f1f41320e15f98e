// The reader of a stick's autorun.inf: bytes in, the entries that start something out. The file is
// hostile input (worms pad it, break its encoding, hide the entry far down), so the reader takes
// every encoding Windows takes and never trusts a length.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dva::stick {

// Only this much of the file is read: worms pad it to hide an entry, and 4 MiB is far more than
// any real autorun.inf holds.
inline constexpr std::size_t kAutorunReadLimit = 4u << 20;

// The system's ANSI code page, which only Windows knows: the port converts.
class AnsiCodePage {
public:
    virtual ~AnsiCodePage() = default;
    virtual std::wstring fromAnsi(std::string_view bytes) const = 0;
};

// One entry that starts something: open, shellexecute or shell\<verb>\command, in [AutoRun] or an
// [AutoRun.<arch>] section. Keys and sections as the file spells them.
struct AutorunEntry {
    std::wstring section;
    std::wstring key;
    std::wstring command;  // the value, blanks around it dropped
};

// The text of the file: UTF-8 with a byte-order mark, UTF-16 LE with one, else UTF-8 when the
// bytes are valid UTF-8, else the ANSI code page. NUL characters are dropped (a UTF-16 file without
// its mark reads as its ASCII text). Only the first kAutorunReadLimit bytes count.
std::wstring decodeAutorunText(std::string_view bytes, const AnsiCodePage& ansi);

// The starting entries in the order the file holds them. Lines end at CR, LF or CRLF; blanks
// around section names, keys and '=' are dropped; ';' starts a comment line; lines that are none
// of these are skipped. Sections and keys are compared without regard to case.
std::vector<AutorunEntry> readAutorunEntries(std::string_view bytes, const AnsiCodePage& ansi);

}  // namespace dva::stick
