// The window class names other programs see, written once. The installer closes a running copy
// through its main window, a second start hands over to it, tests and outside tools find the
// windows by these names, so they never change.
#pragma once

namespace dva::window_class {

inline constexpr const wchar_t* kMain = L"Form1";
inline constexpr const wchar_t* kDetections = L"Form2";
inline constexpr const wchar_t* kAbout = L"Form3";
inline constexpr const wchar_t* kSupport = L"Form4";
inline constexpr const wchar_t* kAgreement = L"Form5";
inline constexpr const wchar_t* kSplash = L"frmSplash";

}  // namespace dva::window_class
