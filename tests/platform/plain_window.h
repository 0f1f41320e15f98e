// A plain top-level window for the window framework's tests: one inch square, default colours
// and font, placed where the system likes.
#pragma once

#include "window.h"

namespace dva {

constexpr WindowSpec plainWindow(const wchar_t* className) {
    return {
        .className = className,
        .caption = L"",
        .style = WS_OVERLAPPED,
        .exStyle = 0,
        .clientWidth = 1440,
        .clientHeight = 1440,
        .back = kDefaultColour,
        .placement = Placement::SystemDefault,
        .font = nullptr,
    };
}

}  // namespace dva
