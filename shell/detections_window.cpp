#include "detections_window.h"

#include <string>

#include "control_ids.h"
#include "fonts.h"
#include "palette.h"
#include "tool_window.h"

namespace dva {
namespace {

constexpr WindowSpec kForm2 = toolWindow(L"Form2", L"Virus Tespitleri", 3870, 2865);

constexpr ControlSpec kForm2Controls[] = {
    {ids::Form2Label1, ControlKind::Label, L"Tehditler:", 120, 120, 1815, 255, 2},
    {ids::Form2List1, ControlKind::ListBox, nullptr, 120, 480, 3615, 1815, 0,
     {.text = palette::kRed, .font = &fonts::kTahomaBold}},
    {ids::Form2Command1, ControlKind::Button, L"Listeyi Temizle", 120, 2400, 1815, 375, 1},
    {ids::Form2Command2, ControlKind::Button, L"Kapat", 2040, 2400, 1695, 375, 3},
};

}  // namespace

const CommandRow Form2::kCommands[] = {
    {ids::Form2Command1, BN_CLICKED, on<&Form2::Command1_Click>},
    {ids::Form2Command2, BN_CLICKED, on<&Form2::Command2_Click>},
};

void Form2::load() {
    createOrEnd(kForm2, kForm2Controls, kCommands, L"Virus Tespitleri penceresi açılamadı.");
}

void Form2::List1_AddItem(std::wstring_view path) {
    const std::wstring line(path);
    SendMessageW(control(ids::Form2List1), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

void Form2::Command1_Click() { SendMessageW(control(ids::Form2List1), LB_RESETCONTENT, 0, 0); }

void Form2::Command2_Click() { unload(); }

}  // namespace dva
