// The window class names other programs see. The installer closes a running copy through its main
// window, a second start hands over to it, tests and outside tools find the windows by these
// names, so they never change; they are written once, in cmake/SharedNames.cmake.
#pragma once

#include "shared_names.h"

namespace dva::window_class {

inline constexpr const wchar_t* kMain = DVA_CLASS_MAIN;
inline constexpr const wchar_t* kDetections = DVA_CLASS_DETECTIONS;
inline constexpr const wchar_t* kAbout = DVA_CLASS_ABOUT;
inline constexpr const wchar_t* kSupport = DVA_CLASS_SUPPORT;
inline constexpr const wchar_t* kAgreement = DVA_CLASS_AGREEMENT;
inline constexpr const wchar_t* kSplash = DVA_CLASS_SPLASH;

}  // namespace dva::window_class
