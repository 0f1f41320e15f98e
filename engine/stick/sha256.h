// SHA-256 (FIPS 180-4), for naming and checking the files the quarantine keeps.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace dva::stick {

class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    void update(std::span<const std::byte> bytes);
    // The digest of everything given; the object is then spent.
    Digest finish();

    // Lower-case hexadecimal, 64 characters.
    static std::wstring hex(const Digest& digest);

private:
    void block(const std::uint8_t* data);

    std::array<std::uint32_t, 8> state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t length_ = 0;  // bytes
};

}  // namespace dva::stick
