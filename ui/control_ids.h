// Control identifiers of every window, grouped per window, in one place: the code, the installer
// and the tests find controls by them.
#pragma once

#include "shared_names.h"  // the ids the installer uses too

namespace dva {

namespace ids {

// The main window
namespace main {
inline constexpr int banner = 101;
inline constexpr int about = 102;         // "Hakkında"
inline constexpr int scan = 103;          // "Tara ve Temizle"
inline constexpr int options = 104;       // "Seçenekler"
inline constexpr int protection = 105;    // "Anlık korumayı Aktifleştir"
inline constexpr int detections = 106;    // "Virus tespitleri"
inline constexpr int updateCheck = 107;   // "Açılışta Güncellemeleri kontrol et" (greyed)
inline constexpr int autorun = 108;       // "AutoRun Koruması Aktifleştir"
inline constexpr int reportThreat = 109;  // "Yeni Tehdit Bildir"
inline constexpr int webShield = 110;     // "Web Kalkanını Aktifleştir" (greyed)
inline constexpr int update = 111;        // "Güncelle!"
inline constexpr int support = 112;       // "Online Destek"
inline constexpr int exit = DVA_ID_MAIN_EXIT;  // "Çıkış"
inline constexpr int scanTimer = 114;
}  // namespace main

// The detections window
namespace detections {
inline constexpr int heading = 201;  // "Tehditler:"
inline constexpr int list = 202;
inline constexpr int clear = 203;    // "Listeyi Temizle"
inline constexpr int close = 204;    // "Kapat"
}  // namespace detections

// The splash window
namespace splash {
inline constexpr int banner = 301;
inline constexpr int name = DVA_ID_SPLASH_NAME;  // the product's name
inline constexpr int prompt = 303;   // "Tıkla ve devam et..."
}  // namespace splash

// The about window
namespace about {
inline constexpr int credits = 401;
inline constexpr int link = 402;     // the home page address
}  // namespace about

// The support window
namespace support {
inline constexpr int browser = 501;
inline constexpr int connect = 502;  // "Bağlan!"
}  // namespace support

// The agreement window
namespace agreement {
inline constexpr int text = 601;
inline constexpr int accept = 602;   // "Okudum ve kabul ettim"
inline constexpr int decline = 603;  // "Kabul Etmiyorum"
}  // namespace agreement

}  // namespace ids
}  // namespace dva
