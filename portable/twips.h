// Layout arithmetic: twips (1440 to the inch) and points to pixels at a given dpi. Portable,
// so it is unit-tested natively; rounds half away from zero as the system's MulDiv does.
#pragma once

namespace dva {

constexpr int mulDivRound(int a, int b, int c) {
    const long long p = static_cast<long long>(a) * b;
    const long long q = (p >= 0 ? p + c / 2 : p - c / 2) / c;
    return static_cast<int>(q);
}

constexpr int twipsToPixels(int twips, int dpi) { return mulDivRound(twips, dpi, 1440); }

// A font's cell height in pixels, negative as CreateFontW wants it for a character height.
// Sizes are in hundredths of a point (825 is 8.25 pt).
constexpr int fontHeight(int centiPoints, int dpi) { return -mulDivRound(centiPoints, dpi, 7200); }

constexpr int kDefaultDpi = 96;

}  // namespace dva
