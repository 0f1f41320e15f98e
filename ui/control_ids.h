// Control identifiers of every window, in one place: the code and the tests find controls by them.
#pragma once

namespace dva::ids {

// Form1, the main window
inline constexpr int Form1Picture1 = 101;
inline constexpr int Form1Label1 = 102;    // "Hakkında"
inline constexpr int Form1Command1 = 103;  // "Tara ve Temizle"
inline constexpr int Form1Label2 = 104;    // "Seçenekler"
inline constexpr int Form1Check2 = 105;    // real-time protection
inline constexpr int Form1Command2 = 106;  // "Virus tespitleri"
inline constexpr int Form1Check3 = 107;    // update check at start (greyed)
inline constexpr int Form1Check1 = 108;    // AutoRun protection
inline constexpr int Form1Command3 = 109;  // "Yeni Tehdit Bildir"
inline constexpr int Form1Check4 = 110;    // web shield (greyed)
inline constexpr int Form1Command5 = 111;  // "Güncelle!"
inline constexpr int Form1Command6 = 112;  // "Online Destek"
inline constexpr int Form1Command4 = 113;  // "Çıkış"
inline constexpr int Form1Timer1 = 114;

// Form2, the detections window
inline constexpr int Form2Label1 = 201;
inline constexpr int Form2List1 = 202;
inline constexpr int Form2Command1 = 203;  // "Listeyi Temizle"
inline constexpr int Form2Command2 = 204;  // "Kapat"

// frmSplash
inline constexpr int SplashPicture1 = 301;
inline constexpr int SplashLabel4 = 302;
inline constexpr int SplashLabel1 = 303;

// Form3, the about window
inline constexpr int Form3Text1 = 401;
inline constexpr int Form3Label1 = 402;

// Form4, the support window
inline constexpr int Form4WebBrowser1 = 501;
inline constexpr int Form4Command1 = 502;

// Form5, the agreement window
inline constexpr int Form5Text1 = 601;
inline constexpr int Form5Command1 = 602;
inline constexpr int Form5Command2 = 603;

}  // namespace dva::ids
