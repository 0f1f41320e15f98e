// The colours of the program's windows, by name, and the looks made of them.
#pragma once

#include "window.h"

namespace dva::palette {

inline constexpr COLORREF kBlack = RGB(0, 0, 0);      // the main, splash, about and warning windows
inline constexpr COLORREF kWhite = RGB(255, 255, 255);
inline constexpr COLORREF kOrange = RGB(255, 128, 0);  // labels that open something
inline constexpr COLORREF kRed = RGB(255, 0, 0);       // the detection list

}  // namespace dva::palette

namespace dva::looks {

// White text on the black windows, in the given font or the window's default.
constexpr Look whiteOnBlack(const FontSpec* font = nullptr) {
    return {.text = palette::kWhite, .back = palette::kBlack, .font = font};
}

// Labels that open something, on the black windows.
constexpr Look linkOnBlack(const FontSpec* font) {
    return {.text = palette::kOrange, .back = palette::kBlack, .font = font};
}

// The same look, on one line at the label's designed size: never wrapped at words.
constexpr Look oneLine(Look look) {
    look.noWrap = true;
    return look;
}

}  // namespace dva::looks
