// USB sticks as the cases put them in and take them out under Wine: drives E: and F: are removable
// letters whose folders under DVA_STICKS (tests/e2e/stick_drives.sh) a case makes to put a stick
// in. A stick is staged beside them and moved into place at once, so the program never sees half
// of one. Also the quarantine the program moves a stick's threats into.
#pragma once

#include <string>
#include <vector>

#include "driver.h"

namespace dva::e2e {

inline constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
inline constexpr wchar_t kAlertTitle[] = L"Virüs Bulundu!";

struct StickFile {
    std::wstring name;  // from the root ("Belgeler\rapor.txt"); a name ending in '\' is a folder
    std::string bytes;
    DWORD attributes = 0;
    // A shortcut (the name ends in .lnk) to this target with these arguments, made by the shell.
    std::wstring target = {};
    std::wstring arguments = {};
};

std::wstring stickFolder(wchar_t letter);  // the stick's root as the test sees it (drive Z:)
std::string contentOf(const std::wstring& path);
// Puts a stick with these files (in this order: folders before what they hold) and that serial
// number into the drive.
// `base`: a folder beside the sticks whose entries the stick starts with (moved, not copied).
void insertStick(wchar_t letter, DWORD serial, const std::vector<StickFile>& files, const std::wstring& base = {});
// Takes the stick out: its folder moves aside, beside the sticks, where the case can still look at
// it; the path it went to.
std::wstring pullStick(wchar_t letter);

std::wstring quarantineFolder();
std::vector<std::vector<std::string>> indexLines();  // index.tsv's lines, split at their tabs

// No stick in, an empty quarantine before and after each case.
class Sticks : public ProgramTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // A stick that must be left exactly as it was: no box for a while, nothing listed, every
    // file's bytes and marks unchanged. It is taken out after.
    void expectLeftAlone(wchar_t letter, const std::vector<StickFile>& files, const std::string& what);
};

}  // namespace dva::e2e
