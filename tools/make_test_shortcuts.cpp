// Makes the shortcuts the shortcut reader's unit tests read (tests/unit/data/), through the
// shell's own IShellLinkW, under Wine: run by tools/make-test-shortcuts, not by the build.
// Writes into the folder given on its command line (a Windows path).
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Shortcut {
    const wchar_t* file;
    const wchar_t* target;  // nullptr: none
    std::wstring arguments;
    const wchar_t* icon;
    int iconIndex;
};

bool save(const std::wstring& folder, const Shortcut& s) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return false;
    if (s.target) link->SetPath(s.target);
    link->SetArguments(s.arguments.c_str());
    link->SetIconLocation(s.icon, s.iconIndex);
    IPersistFile* file = nullptr;
    bool saved = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    if (saved) {
        saved = SUCCEEDED(file->Save((folder + L"\\" + s.file).c_str(), TRUE));
        file->Release();
    }
    link->Release();
    return saved;
}

// Wine's IShellLinkDataList cannot add data blocks, so the shortcut whose target is only in the
// environment block gets that block here, as Windows writes it: 0x314 bytes with the target in
// ANSI and in UTF-16, the link flag HasExpString set, before the terminal block.
bool addEnvironmentTarget(const std::wstring& path, const char* target, const wchar_t* wideTarget) {
    std::vector<unsigned char> bytes;
    {
        std::ifstream in(path.c_str(), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    if (bytes.size() < 0x50 || bytes[bytes.size() - 4] != 0 || bytes[bytes.size() - 3] != 0 ||
        bytes[bytes.size() - 2] != 0 || bytes[bytes.size() - 1] != 0)
        return false;
    bytes[0x15] |= 0x02;  // HasExpString
    std::vector<unsigned char> block(0x314, 0);
    block[0] = 0x14;
    block[1] = 0x03;
    block[4] = 0x01;
    block[7] = 0xA0;
    for (int i = 0; target[i]; ++i) block[8 + i] = static_cast<unsigned char>(target[i]);
    for (int i = 0; wideTarget[i]; ++i) {
        block[268 + 2 * i] = static_cast<unsigned char>(wideTarget[i] & 0xFF);
        block[268 + 2 * i + 1] = static_cast<unsigned char>(wideTarget[i] >> 8);
    }
    bytes.insert(bytes.end() - 4, block.begin(), block.end());
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: make_test_shortcuts.exe <windows folder>\n", stderr);
        return 2;
    }
    const std::wstring folder = argv[1];
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    // Worms pad their arguments with blanks and line breaks so that the properties box shows none.
    const std::wstring padded = std::wstring(300, L' ') + L"\r\n\r\n" + L"/c start x.vbs & start explorer Belgeler";
    const Shortcut shortcuts[] = {
        {L"ishelllink-wscript.lnk", L"C:\\windows\\system32\\wscript.exe", L"x.vbs",
         L"%SystemRoot%\\system32\\shell32.dll", 4},
        {L"ishelllink-padded-arguments.lnk", L"C:\\windows\\system32\\cmd.exe", padded,
         L"%SystemRoot%\\system32\\shell32.dll", 4},
        {L"environment-target-only.lnk", nullptr, L"/c start x.vbs", L"%SystemRoot%\\system32\\shell32.dll", 4},
    };
    int failed = 0;
    for (const Shortcut& s : shortcuts) {
        if (!save(folder, s)) {
            std::fprintf(stderr, "could not save %ls\n", s.file);
            ++failed;
        }
    }
    if (!addEnvironmentTarget(folder + L"\\environment-target-only.lnk", "%SystemRoot%\\system32\\cmd.exe",
                              L"%SystemRoot%\\system32\\cmd.exe")) {
        std::fputs("could not add the environment block\n", stderr);
        ++failed;
    }
    CoUninitialize();
    return failed == 0 ? 0 : 1;
}
