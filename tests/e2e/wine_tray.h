// Wine's notification area, read from outside. Without an X system tray Wine draws the icons
// itself: one __winex11_tray_icon child window per icon in a __winex11_standalone_tray window of
// its explorer process; the owner and tip of an icon are in Wine's own record of it.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dva::e2e {

// The tip of an icon whose owner window passes the test; nullopt for another owner's icon, or
// for a Wine version whose record layout was not checked (after failing the running test with a
// message saying so).
std::optional<std::wstring> wineTrayIconTip(HWND icon, const std::function<bool(HWND)>& isOwner);

}  // namespace dva::e2e
