// Numbers as text for the program's messages. Written out by hand: std::to_wstring and
// swprintf bring the C library's whole formatted-output engine into the .exe for two numbers.
// Portable, so it is unit-tested natively.
#pragma once

#include <cstdint>
#include <string>

namespace dva {

// In decimal, as std::to_wstring writes an unsigned number.
inline std::wstring decimalText(std::uint64_t value) {
    wchar_t digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value);
    std::wstring text;
    while (n) text += digits[--n];
    return text;
}

// "0x" and eight upper-case hexadecimal digits, as "0x%08lX" writes a 32-bit code.
inline std::wstring hexCodeText(std::uint32_t value) {
    std::wstring text = L"0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += L"0123456789ABCDEF"[(value >> shift) & 0xF];
    return text;
}

}  // namespace dva
