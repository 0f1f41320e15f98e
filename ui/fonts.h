// The fonts the program's windows use.
#pragma once

#include "window.h"

namespace dva::fonts {

inline constexpr int kTurkish = 162;
inline constexpr int kWestern = 0;

// Default font of the controls that name none.
inline constexpr FontSpec kDefault{L"Tahoma", 825, FW_NORMAL, kTurkish};
inline constexpr FontSpec kTahomaBold{L"Tahoma", 825, FW_BOLD, kTurkish};
inline constexpr FontSpec kSansSerifBold{L"MS Sans Serif", 825, FW_BOLD, kTurkish};
inline constexpr FontSpec kSegoeWestern{L"Segoe UI", 975, FW_NORMAL, kWestern};
inline constexpr FontSpec kSegoeTurkish{L"Segoe UI", 975, FW_NORMAL, kTurkish};

}  // namespace dva::fonts
