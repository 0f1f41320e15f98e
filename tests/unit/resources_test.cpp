// Checks the checked-in banner bitmap and window icon in the formats Windows and the program
// rely on: LoadImage reads the banner's headers and rows, the windows draw it at 412 x 128, and
// the resource compiler copies the icon's single 32 x 32, 24-bit image into the .exe.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#ifndef DVA_RESOURCES_DIR
#error "DVA_RESOURCES_DIR must name the shell/resources directory"
#endif

namespace dva {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes read_resource(const char* name) {
    const std::filesystem::path path = std::filesystem::path(DVA_RESOURCES_DIR) / name;
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        ADD_FAILURE() << "cannot open " << path;
        return {};
    }
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Little-endian fields, as stored in BMP and ICO files.
std::uint32_t u16(const Bytes& b, std::size_t at) { return std::uint32_t(b.at(at)) | std::uint32_t(b.at(at + 1)) << 8; }
std::uint32_t u32(const Bytes& b, std::size_t at) { return u16(b, at) | u16(b, at + 2) << 16; }
std::int32_t i32(const Bytes& b, std::size_t at) { return static_cast<std::int32_t>(u32(b, at)); }

// Number of different colours among 24-bit pixels stored from `begin`.
std::size_t distinct_colours(const Bytes& b, std::size_t begin, std::size_t pixels) {
    std::set<std::uint32_t> seen;
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::size_t p = begin + 3 * i;
        seen.insert(u32(b, p) & 0xFFFFFFu);
    }
    return seen.size();
}

// What LoadImage needs to read the banner, and what the windows' layout assumes of it (412 x 128
// pixels at 96 dpi), checked against the file's own headers rather than the generator's numbers.
TEST(Resources, BannerIsA412By128TwentyFourBitBitmapThatLoadImageReads) {
    const Bytes bmp = read_resource("banner.bmp");
    ASSERT_GE(bmp.size(), 54u);

    // BITMAPFILEHEADER
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(u32(bmp, 2), bmp.size()) << "bfSize";
    EXPECT_EQ(u16(bmp, 6), 0u);
    EXPECT_EQ(u16(bmp, 8), 0u);
    EXPECT_EQ(u32(bmp, 10), 54u) << "bfOffBits: pixels follow the two headers";

    // BITMAPINFOHEADER
    EXPECT_EQ(u32(bmp, 14), 40u) << "biSize";
    EXPECT_EQ(i32(bmp, 18), 412) << "biWidth";
    EXPECT_EQ(i32(bmp, 22), 128) << "biHeight: positive, rows stored bottom-up";
    EXPECT_EQ(u16(bmp, 26), 1u) << "biPlanes";
    EXPECT_EQ(u16(bmp, 28), 24u) << "biBitCount";
    EXPECT_EQ(u32(bmp, 30), 0u) << "biCompression: BI_RGB";
    EXPECT_EQ(u32(bmp, 34), bmp.size() - 54) << "biSizeImage: what follows the headers";
    EXPECT_EQ(u32(bmp, 46), 0u) << "biClrUsed: no colour table";

    // 128 rows of 412 * 3 = 1236 bytes each (a multiple of 4, so unpadded) fit in the file.
    ASSERT_GE(bmp.size(), 54u + 128 * 1236);

    // A real picture, not a blank or flat fill: text, shield and gradient give many colours,
    // and both the top and the bottom halves carry some of them.
    EXPECT_GE(distinct_colours(bmp, 54, 412 * 128), 64u);
    EXPECT_GE(distinct_colours(bmp, 54, 412 * 64), 16u) << "bottom half (stored first)";
    EXPECT_GE(distinct_colours(bmp, 54 + 64 * 1236, 412 * 64), 16u) << "top half";
}

TEST(Resources, IconHoldsOneOpaque32By32TwentyFourBitImage) {
    const Bytes ico = read_resource("app.ico");
    ASSERT_GE(ico.size(), 6u + 16u + 40u);

    // ICONDIR
    EXPECT_EQ(u16(ico, 0), 0u) << "reserved";
    EXPECT_EQ(u16(ico, 2), 1u) << "type: icon";
    ASSERT_EQ(u16(ico, 4), 1u) << "exactly one image";

    // ICONDIRENTRY
    EXPECT_EQ(ico[6], 32) << "width";
    EXPECT_EQ(ico[7], 32) << "height";
    EXPECT_EQ(ico[8], 0) << "bColorCount: no palette";
    EXPECT_EQ(ico[9], 0) << "reserved";
    EXPECT_EQ(u16(ico, 10), 1u) << "wPlanes";
    EXPECT_EQ(u16(ico, 12), 24u) << "wBitCount";
    const std::uint32_t bytes_in_res = u32(ico, 14);
    const std::uint32_t offset = u32(ico, 18);
    EXPECT_EQ(offset, 22u) << "the image follows the directory";
    ASSERT_EQ(std::size_t(offset) + bytes_in_res, ico.size()) << "the entry covers the rest of the file";

    // The image: header, 32 rows of 96 bytes of colour, 32 rows of a 4-byte AND mask.
    const std::size_t hdr = offset;
    EXPECT_EQ(u32(ico, hdr), 40u) << "biSize";
    EXPECT_EQ(i32(ico, hdr + 4), 32) << "biWidth";
    EXPECT_EQ(i32(ico, hdr + 8), 64) << "biHeight counts the colour bitmap and the mask";
    EXPECT_EQ(u16(ico, hdr + 12), 1u) << "biPlanes";
    EXPECT_EQ(u16(ico, hdr + 14), 24u) << "biBitCount";
    EXPECT_EQ(u32(ico, hdr + 16), 0u) << "biCompression: BI_RGB";
    const std::size_t xor_size = 32 * 32 * 3;
    const std::size_t and_size = 32 * 4;
    ASSERT_EQ(bytes_in_res, 40 + xor_size + and_size);

    const std::size_t mask = hdr + 40 + xor_size;
    for (std::size_t i = mask; i < mask + and_size; ++i)
        ASSERT_EQ(ico[i], 0) << "AND mask byte " << (i - mask) << " makes a pixel transparent";
    EXPECT_GE(distinct_colours(ico, hdr + 40, 32 * 32), 16u) << "the icon is not a flat fill";
}

}  // namespace
}  // namespace dva
