// The program's own reasons for leaving a file alone or a command unstarted, with the bit the
// system leaves free for programs' own codes (1 << 29) set, and the texts its boxes and event-log
// entries give for them in place of the system's description.
#pragma once

#include <cstdint>
#include <string_view>

namespace dva {

inline constexpr std::uint32_t kRefusedReparsePoint = 0x20000001;  // the file itself is a link
inline constexpr std::uint32_t kRefusedRedirected = 0x20000002;    // a folder on the way leads elsewhere
inline constexpr std::uint32_t kRefusedHardLinks = 0x20000003;     // the file has other names too
inline constexpr std::uint32_t kRefusedNoSystemFolder = 0x20000004;  // the system did not name its folder
// A program started with the user's rights ran raised after all, and was ended at once. Also a
// failure as an HRESULT (its top bit), as the starts through the desktop shell report.
inline constexpr std::uint32_t kRefusedRaisedStart = 0xA0000005;
// No desktop shell to start a program with the user's rights: none is started from the raised
// program instead. The same kind of code.
inline constexpr std::uint32_t kRefusedNoDesktopShell = 0xA0000006;
// The quarantine's folder, or the program's folder above it, is a link: what it leads to is not
// the place the program keeps threats in.
inline constexpr std::uint32_t kRefusedQuarantineLink = 0x20000007;
// The quarantine's folder, or the one above it, belongs to an account that is not Administrators,
// SYSTEM or (a standard user's copy) the user: someone else may have laid it out to read or swap
// what is kept there.
inline constexpr std::uint32_t kRefusedQuarantineOwner = 0x20000008;

// The text for one of the codes above; empty for any other code.
inline std::wstring_view refusalText(std::uint32_t code) {
    switch (code) {
    case kRefusedReparsePoint:
        return L"Dosya bir bağlantı (yönlendirme) olduğundan silinmedi: gösterdiği yer başka bir dosya olabilir.";
    case kRefusedRedirected:
        return L"Yoldaki bir klasör başka bir yere yönlendiriliyor (bağlantı veya bağlantı noktası); oradaki dosya silinmedi.";
    case kRefusedHardLinks:
        return L"Dosyanın başka adları (sabit bağlantıları) var; başka bir yerdeki dosya da değişeceği için silinmedi.";
    case kRefusedNoSystemFolder:
        return L"Sistem klasörünün yeri alınamadı; komut sistem klasörü dışından başlatılmadı.";
    case kRefusedRaisedStart:
        return L"Başlatılan program yönetici haklarıyla çalışıyordu; bu haklarla açık kalmaması için hemen kapatıldı.";
    case kRefusedNoDesktopShell:
        return L"Masaüstü kabuğu (Explorer) çalışmıyor; program yönetici haklarınızı almaması için yalnızca onun "
               L"üzerinden başlatılır.";
    case kRefusedQuarantineLink:
        return L"Karantina klasörü (ya da üstündeki program klasörü) bir bağlantı (yönlendirme); başka bir yere "
               L"götürebileceği için kullanılmadı.";
    case kRefusedQuarantineOwner:
        return L"Karantina klasörünün (ya da üstündeki program klasörünün) sahibi Yöneticiler, SYSTEM veya sizin "
               L"hesabınız değil; başkasının hazırladığı bir klasör kullanılmadı.";
    default:
        return {};
    }
}

}  // namespace dva
