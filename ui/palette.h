// The colours of the program's windows, by name.
#pragma once

#include <windows.h>

namespace dva::palette {

inline constexpr COLORREF kBlack = RGB(0, 0, 0);      // the main, splash, about and warning windows
inline constexpr COLORREF kWhite = RGB(255, 255, 255);
inline constexpr COLORREF kOrange = RGB(255, 128, 0);  // labels that open something
inline constexpr COLORREF kRed = RGB(255, 0, 0);       // the detection list

}  // namespace dva::palette
