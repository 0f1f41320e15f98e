// The frame of the secondary windows (detections, about, support, warning): a caption with only
// a close box, no taskbar button, placed by the system, the default font for the controls.
#pragma once

#include "fonts.h"
#include "window.h"

namespace dva {

constexpr WindowSpec toolWindow(const wchar_t* className, const wchar_t* caption, int clientWidth,
                                int clientHeight, COLORREF back = kDefaultColour) {
    return {
        .className = className,
        .caption = caption,
        .style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
        .exStyle = WS_EX_TOOLWINDOW,
        .clientWidth = clientWidth,
        .clientHeight = clientHeight,
        .back = back,
        .placement = Placement::SystemDefault,
        .font = &fonts::kDefault,
    };
}

}  // namespace dva
