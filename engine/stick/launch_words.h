// What a command line on a stick starts: the words of an autorun.inf entry or a shortcut, split
// as Windows programs split their command line, the hosts that run a file they are handed, and
// where each word leads, seen from the stick's root. Shared by the autorun.inf rules and the
// shortcut rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dva::stick {

// File attribute bits as the system's folder listing reports them.
inline constexpr std::uint32_t kAttrReadOnly = 0x1;
inline constexpr std::uint32_t kAttrHidden = 0x2;
inline constexpr std::uint32_t kAttrSystem = 0x4;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrReparsePoint = 0x400;

// Names compared ordinally without regard to case, the way the file system and
// CompareStringOrdinal(..., TRUE) compare them, never by the user's locale (under Turkish rules
// "I" lowers to the dotless "ı"). The letters of ASCII, Latin-1 and Latin Extended-A are folded
// (the Turkish Ç Ğ Ö Ş Ü among them, so a hidden "Fotoğraflar" is found by "FOTOĞRAFLAR.lnk");
// the dotted "İ" and the dotless "ı" have no partner and match only themselves. A name that
// differs from the listing only in the case of another letter is taken as another name.
bool sameName(std::wstring_view a, std::wstring_view b);
bool endsWithName(std::wstring_view text, std::wstring_view suffix);
// The name in the one letter case sameName compares in: a key for sorted lists and sets of names.
std::wstring foldedName(std::wstring_view name);

// The last component of a path (after the last '\' or '/').
std::wstring_view lastComponent(std::wstring_view path);

// Whether the name ends in one of the extensions Windows runs as a program or script:
// .exe .com .scr .pif .bat .cmd .vbs .vbe .js .jse .wsf .ps1 .dll
bool isProgramName(std::wstring_view name);

// How a host finds the file it runs among its arguments.
enum class HostArgument {
    FirstWord,    // its first argument that is not a switch (mshta, regsvr32, wscript, msiexec)
    BeforeComma,  // rundll32: "file,Entry", the file before the comma
    ScriptFile,   // powershell, pwsh: the word after -File, else any script named in the command
    CommandShell, // cmd: every command after /c or /k
};

struct Host {
    std::wstring_view name;  // without ".exe"
    HostArgument argument;
    bool startsFromAutorun;  // listed for autorun.inf entries; shortcuts look at every host
};

// A shortcut may name the command processor by its environment variable, unexpanded: the
// environment block of a worm's shortcut often holds only "%ComSpec%".
inline constexpr std::wstring_view kCommandProcessorVariable = L"%ComSpec%";

inline constexpr Host kHosts[] = {
    {L"rundll32", HostArgument::BeforeComma, true},  {L"regsvr32", HostArgument::FirstWord, true},
    {L"wscript", HostArgument::FirstWord, true},     {L"cscript", HostArgument::FirstWord, true},
    {L"mshta", HostArgument::FirstWord, true},       {L"cmd", HostArgument::CommandShell, true},
    {L"powershell", HostArgument::ScriptFile, true}, {L"pwsh", HostArgument::ScriptFile, false},
    {L"msiexec", HostArgument::FirstWord, false},
    {kCommandProcessorVariable, HostArgument::CommandShell, false},
};

// The host a program word names (its last component, with or without ".exe"), or nullptr.
const Host* findHost(std::wstring_view programWord);

// Splits a command line into words as CommandLineToArgvW does: the first word runs to the next
// quote when it starts with one, else to the next blank, backslashes taken as they are; the others
// honour quotes, "" inside quotes and backslashes before a quote. Line breaks count as blanks too:
// worms pad their arguments with them, and no file name holds one.
std::vector<std::wstring> splitCommandLine(std::wstring_view line);

// Every word of a host's arguments that may name a file, however the host reads them: each
// argument as splitCommandLine gives it (quotes honoured, so a name with blanks stays whole), and
// each word of it as a shell's command (split at blanks and operators, "^" escapes dropped).
// Switches are left out. A shortcut's worm hides its script and its folder anywhere in them.
std::vector<std::wstring> argumentWords(std::wstring_view arguments);

// A word handed to a host as the file to run.
struct HostedWord {
    std::wstring word;
    // True when the host runs the file whatever its extension (rundll32's "x.vmx,Entry"); false
    // for a word in a shell's command, which runs only as a program when it has a program's
    // extension (a document it names is opened, not run).
    bool anyExtension = true;
};

// The words of a command line that may start a file: the program, and when the program is a host,
// the files it is told to run. Which of them exist on the stick the caller decides.
struct Launch {
    std::wstring program;
    const Host* host = nullptr;
    std::vector<HostedWord> hosted;
};
Launch readLaunch(std::wstring_view line);

// Where a word leads, seen from the root of the stick in drive `letter`: a name without a drive
// (x.vbs, .\x.vbs, \RECYCLER\x.exe) from the stick's root, an absolute path on the same drive, or
// outside the stick (another drive, a network path, an environment variable).
struct StickPath {
    bool onStick = false;
    std::wstring relative;  // components joined by '\', no leading separator; empty: the root
};
StickPath locate(std::wstring_view word, wchar_t letter);

}  // namespace dva::stick
