#include "detections_window.h"

#include <string>

#include "control_ids.h"
#include "fonts.h"
#include "palette.h"
#include "tool_window.h"
#include "window_classes.h"

namespace dva {
namespace {

constexpr WindowSpec kDetectionsSpec = toolWindow(window_class::kDetections, L"Virus Tespitleri", 3870, 2865);

constexpr ControlSpec kDetectionsControls[] = {
    {ids::detections::heading, ControlKind::Label, L"Tehditler:", 120, 120, 1815, 255, 2},
    {ids::detections::list, ControlKind::ListBox, nullptr, 120, 480, 3615, 1815, 0,
     {.text = palette::kRed, .font = &fonts::kTahomaBold}},
    {ids::detections::clear, ControlKind::Button, L"Listeyi Temizle", 120, 2400, 1815, 375, 1},
    {ids::detections::close, ControlKind::Button, L"Kapat", 2040, 2400, 1695, 375, 3},
};

}  // namespace

const Route DetectionsWindow::kRoutes[] = {
    commandRoute<&DetectionsWindow::onClearClicked>(ids::detections::clear, BN_CLICKED),
    commandRoute<&DetectionsWindow::onCloseClicked>(ids::detections::close, BN_CLICKED),
};

void DetectionsWindow::create() {
    createFromOrEnd(kDetectionsSpec, kDetectionsControls, kRoutes, L"Virus Tespitleri penceresi açılamadı.");
}

void DetectionsWindow::addDetection(std::wstring_view path) {
    const std::wstring line(path);
    SendMessageW(control(ids::detections::list), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

void DetectionsWindow::onClearClicked() { SendMessageW(control(ids::detections::list), LB_RESETCONTENT, 0, 0); }

void DetectionsWindow::onCloseClicked() { close(); }

}  // namespace dva
