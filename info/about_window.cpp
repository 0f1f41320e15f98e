#include "about_window.h"

#include <string>

#include "control_ids.h"
#include "fonts.h"
#include "message_loop.h"
#include "product_config.h"

namespace dva {
namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kOrange = RGB(255, 128, 0);

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

constexpr WindowSpec kForm3{
    .className = L"Form3",
    .caption = L"Dravonil Veriz Avize Hakkında",
    .style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
    .exStyle = WS_EX_TOOLWINDOW,
    .clientWidth = 3390,
    .clientHeight = 2895,
    .back = kBlack,
    .placement = Placement::SystemDefault,
    .font = &fonts::kDefault,
};

constexpr ControlSpec kForm3Controls[] = {
    {ids::Form3Text1, ControlKind::TextBox, kAboutText, 120, 120, 3135, 2295, 0,
     {.text = kWhite, .back = kBlack, .disabled = true, .multiline = true}},
    {ids::Form3Label1, ControlKind::Label, L"Dravonil Online", 960, 2520, 1335, 255, 1,
     {.text = kOrange, .back = kBlack, .font = &fonts::kTahomaBold, .link = true}},
};

}  // namespace

void Form3::load() {
    if (!create(kForm3, kForm3Controls)) runtimeErrorReport(GetLastError(), L"Hakkında penceresi açılamadı.");
}

void Form3::onCommand(int id, int notifyCode) {
    if (id == ids::Form3Label1 && notifyCode == STN_CLICKED) Label1_Click();
}

void Form3::Label1_Click() {
    // When no program can be started from the fixed path, the system's default browser opens the
    // page instead, and only if that fails too is the user told. The program goes on either way.
    const OpResult opened = rt_.openWebPage(kBrowserPath, DVA_HOME_PAGE);
    if (opened.ok()) return;
    rt_.message(std::wstring(L"Web sayfası açılamadı: ") + DVA_HOME_PAGE + L"\n" + rt_.errorReason(opened.error),
                L"Hata", MessageIcon::Error);
}

}  // namespace dva
