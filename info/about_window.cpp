#include "about_window.h"

#include <string>

#include "control_ids.h"
#include "failure_text.h"
#include "fonts.h"
#include "palette.h"
#include "product_config.h"
#include "tool_window.h"
#include "window_classes.h"

namespace dva {
namespace {

// Every line ends in CR LF, the last one too.
constexpr wchar_t kAboutText[] =
    L"Dravonil USB Security\r\n"
    L"Sürüm: Beta 0.1\r\n"
    L"Virüs Temizleme Modülü: 0.2\r\n"
    L"Son Güncelleme: 30 Ağustos 2009\r\n"
    L"\r\n"
    L"====================\r\n"
    L"\r\n"
    L"Kodlayan: " DVA_AUTHOR L"\r\n"
    L"Beta Tester: " DVA_TESTER L"\r\n"
    L"MSN: " DVA_CONTACT L"\r\n"
    L"Web: " DVA_HOME_PAGE L"\r\n";

// The browser program at its fixed path; it gets the home page as its one argument.
constexpr wchar_t kBrowserPath[] = L"C:\\Program Files\\Internet Explorer\\iexplore.exe";

constexpr WindowSpec kAboutSpec = toolWindow(window_class::kAbout, L"Dravonil Veriz Avize Hakkında", 3390, 2895, palette::kBlack);

constexpr ControlSpec kAboutControls[] = {
    {ids::about::credits, ControlKind::TextBox, kAboutText, 120, 120, 3135, 2295, 0,
     looks::whiteOnBlack(), {.disabled = true, .multiline = true}},
    {ids::about::link, ControlKind::Label, L"Dravonil Online", 960, 2520, 1335, 255, 1,
     looks::linkOnBlack(&fonts::kTahomaBold), {.link = true}},
};

}  // namespace

const Route AboutWindow::kRoutes[] = {
    commandRoute<&AboutWindow::onLinkClicked>(ids::about::link, STN_CLICKED),
};

void AboutWindow::create() {
    createFromOrEnd(kAboutSpec, kAboutControls, kRoutes, L"Hakkında penceresi açılamadı.");
}

void AboutWindow::onLinkClicked() {
    // When no program can be started from the fixed path, the system's default browser opens the
    // page instead, and only if that fails too is the user told. The program goes on either way.
    const OpResult opened = web_.openWebPage(kBrowserPath, DVA_HOME_PAGE);
    if (opened.ok()) return;
    notices_.message(failureText(L"Web sayfası açılamadı: ", DVA_HOME_PAGE, notices_.errorReason(opened.error)),
                     L"Hata", MessageIcon::Error);
}

}  // namespace dva
