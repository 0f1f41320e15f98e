#include "agreement_window.h"

#include "control_ids.h"
#include "palette.h"
#include "tool_window.h"
#include "window_classes.h"

namespace dva {
namespace {

// Every line ends in CR LF, the last one too; lines 3 and 4 end in a blank before it.
constexpr wchar_t kWarningText[] =
    L"BU UYARIYI KESİNLİKLE OKUYUNUZ!\r\n"
    L"\r\n"
    L"Yapacağınız \"konuşma/yazışma\" ve \"IP\" Adresiniz güvenlik amacıyla sistem \r\n"
    L"tarafından kaydedilir eğer argo, kaba dil, hakaret, küfür etme gibi girişmlerde \r\n"
    L"bulunmanız dahilinde hakkınızda gereken işlem yapılacaktır.\r\n"
    L"\r\n"
    L"Bu konuşmada ilk önce bot ile konuşacaksınız daha sonra ise operatörümüze bağlanacaksınız.\r\n";

constexpr WindowSpec kAgreementSpec = toolWindow(window_class::kAgreement, L"!!!  UYARI  !!!", 6285, 2415, palette::kBlack);

constexpr ControlSpec kAgreementControls[] = {
    {ids::agreement::text, ControlKind::TextBox, kWarningText, 120, 120, 6015, 1695, 0,
     {.text = palette::kBlack}, {.multiline = true}},
    {ids::agreement::accept, ControlKind::Button, L"Okudum ve kabul ettim", 120, 1920, 1935, 375, 1},
    {ids::agreement::decline, ControlKind::Button, L"Kabul Etmiyorum", 4200, 1920, 1935, 375, 2},
};

}  // namespace

const Route AgreementWindow::kRoutes[] = {
    commandRoute<&AgreementWindow::onAcceptClicked>(ids::agreement::accept, BN_CLICKED),
    commandRoute<&AgreementWindow::onDeclineClicked>(ids::agreement::decline, BN_CLICKED),
};

void AgreementWindow::create() {
    createFromOrEnd(kAgreementSpec, kAgreementControls, kRoutes, L"Uyarı penceresi açılamadı.");
}

// Accept: the support window opens (the same one if it is already open), the warning closes.
void AgreementWindow::onAcceptClicked() {
    openSupport_();
    close();
}

// Decline: one message, then the warning closes and no support window opens.
void AgreementWindow::onDeclineClicked() {
    notices_.message(L"Kabul Etmediniz devam etmeyeceksiniz", L"Bilgi", MessageIcon::Information);
    close();
}

}  // namespace dva
