// make_resources: draws the program's banner bitmap and window icon and writes them as
// banner.bmp and app.ico into the given directory.
//
//   make_resources <output-dir>
//
// The output is the same on every run and every machine (no clock, no randomness, only
// +, -, *, / and sqrt on doubles), so the files checked in under shell/resources/ can be
// regenerated and compared. tools/make-resources builds and runs this program.
//
// Formats written (both little-endian, as Windows reads them):
//  - banner.bmp: 412 x 128, 24 bits per pixel, BI_RGB, 2834 pixels per metre, bottom-up rows,
//    followed by two zero bytes that biSizeImage counts; 158,264 bytes in all.
//  - app.ico: one 32 x 32, 24-bit image with an all-zero (fully opaque) AND mask.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Colours and images

struct Colour {
    double r = 0, g = 0, b = 0;
};

Colour operator+(const Colour& a, const Colour& b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Colour operator*(const Colour& a, double k) { return {a.r * k, a.g * k, a.b * k}; }

Colour mix(const Colour& a, const Colour& b, double t) { return a * (1.0 - t) + b * t; }

double clamp01(double t) { return std::clamp(t, 0.0, 1.0); }

constexpr Colour rgb(int r, int g, int b) { return {double(r), double(g), double(b)}; }

// Top-down image of colours; converted to bytes only when written.
class Image {
public:
    Image(int width, int height) : width_(width), height_(height), px_(std::size_t(width) * height) {}

    int width() const { return width_; }
    int height() const { return height_; }
    Colour& at(int x, int y) { return px_[std::size_t(y) * width_ + x]; }
    const Colour& at(int x, int y) const { return px_[std::size_t(y) * width_ + x]; }

private:
    int width_;
    int height_;
    std::vector<Colour> px_;
};

std::uint8_t to_byte(double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))); }

// ---------------------------------------------------------------------------------------------
// A 5 x 7 bitmap font for the few characters the banner uses.

struct Glyph {
    char ch;
    std::array<std::string_view, 7> rows;
};

constexpr Glyph kFont[] = {
    {'A', {"01110", "10001", "10001", "11111", "10001", "10001", "10001"}},
    {'B', {"11110", "10001", "10001", "11110", "10001", "10001", "11110"}},
    {'C', {"01110", "10001", "10000", "10000", "10000", "10001", "01110"}},
    {'D', {"11100", "10010", "10001", "10001", "10001", "10010", "11100"}},
    {'E', {"11111", "10000", "10000", "11110", "10000", "10000", "11111"}},
    {'F', {"11111", "10000", "10000", "11110", "10000", "10000", "10000"}},
    {'G', {"01110", "10001", "10000", "10111", "10001", "10001", "01111"}},
    {'H', {"10001", "10001", "10001", "11111", "10001", "10001", "10001"}},
    {'I', {"01110", "00100", "00100", "00100", "00100", "00100", "01110"}},
    {'J', {"00111", "00010", "00010", "00010", "00010", "10010", "01100"}},
    {'K', {"10001", "10010", "10100", "11000", "10100", "10010", "10001"}},
    {'L', {"10000", "10000", "10000", "10000", "10000", "10000", "11111"}},
    {'M', {"10001", "11011", "10101", "10101", "10001", "10001", "10001"}},
    {'N', {"10001", "10001", "11001", "10101", "10011", "10001", "10001"}},
    {'O', {"01110", "10001", "10001", "10001", "10001", "10001", "01110"}},
    {'P', {"11110", "10001", "10001", "11110", "10000", "10000", "10000"}},
    {'Q', {"01110", "10001", "10001", "10001", "10101", "10010", "01101"}},
    {'R', {"11110", "10001", "10001", "11110", "10100", "10010", "10001"}},
    {'S', {"01111", "10000", "10000", "01110", "00001", "00001", "11110"}},
    {'T', {"11111", "00100", "00100", "00100", "00100", "00100", "00100"}},
    {'U', {"10001", "10001", "10001", "10001", "10001", "10001", "01110"}},
    {'V', {"10001", "10001", "10001", "10001", "10001", "01010", "00100"}},
    {'W', {"10001", "10001", "10001", "10101", "10101", "10101", "01010"}},
    {'X', {"10001", "10001", "01010", "00100", "01010", "10001", "10001"}},
    {'Y', {"10001", "10001", "10001", "01010", "00100", "00100", "00100"}},
    {'Z', {"11111", "00001", "00010", "00100", "01000", "10000", "11111"}},
    {'0', {"01110", "10001", "10011", "10101", "11001", "10001", "01110"}},
    {'1', {"00100", "01100", "00100", "00100", "00100", "00100", "01110"}},
    {'.', {"00000", "00000", "00000", "00000", "00000", "01100", "01100"}},
    {'a', {"00000", "00000", "01110", "00001", "01111", "10001", "01111"}},
    {'c', {"00000", "00000", "01110", "10000", "10000", "10001", "01110"}},
    {'e', {"00000", "00000", "01110", "10001", "11111", "10000", "01110"}},
    {'i', {"00100", "00000", "01100", "00100", "00100", "00100", "01110"}},
    {'r', {"00000", "00000", "10110", "11001", "10000", "10000", "10000"}},
    {'t', {"01000", "01000", "11100", "01000", "01000", "01001", "00110"}},
    {'u', {"00000", "00000", "10001", "10001", "10001", "10011", "01101"}},
    {'y', {"00000", "00000", "10001", "10001", "01111", "00001", "01110"}},
};

constexpr int kGlyphW = 5;
constexpr int kGlyphH = 7;

const Glyph& glyph(char c) {
    for (const Glyph& g : kFont)
        if (g.ch == c) return g;
    throw std::runtime_error(std::string("no glyph for character '") + c + "'");
}

// Width in pixels of a text at the given scale: each glyph is 5 cells plus one cell of spacing.
int text_width(std::string_view text, int scale, int tracking) {
    if (text.empty()) return 0;
    return int(text.size()) * (kGlyphW + 1) * scale + int(text.size() - 1) * tracking - scale;
}

void fill_rect(Image& img, int x0, int y0, int w, int h, const Colour& c) {
    for (int y = std::max(0, y0); y < std::min(img.height(), y0 + h); ++y)
        for (int x = std::max(0, x0); x < std::min(img.width(), x0 + w); ++x) img.at(x, y) = c;
}

// Draws text with its top-left corner at (x, y). A space leaves a gap. The colour runs from
// `top` to `bottom` over the glyph height, and a soft shadow sits one step down and right.
// `bold` widens every stroke by that many pixels to the right.
void draw_text(Image& img, int x, int y, std::string_view text, int scale, int bold, int tracking,
               const Colour& top, const Colour& bottom, const Colour& shadow) {
    const int advance = (kGlyphW + 1) * scale + tracking;
    for (int pass = 0; pass < 2; ++pass) {
        int pen = x;
        for (char c : text) {
            if (c != ' ') {
                const Glyph& g = glyph(c);
                for (int row = 0; row < kGlyphH; ++row)
                    for (int col = 0; col < kGlyphW; ++col) {
                        if (g.rows[row][col] != '1') continue;
                        const int cx = pen + col * scale;
                        const int cy = y + row * scale;
                        if (pass == 0) {
                            const int off = std::max(1, scale / 2);
                            fill_rect(img, cx + off, cy + off, scale + bold, scale, shadow);
                        } else {
                            for (int sy = 0; sy < scale; ++sy) {
                                const double t = double(row * scale + sy) / double(kGlyphH * scale - 1);
                                fill_rect(img, cx, cy + sy, scale + bold, 1, mix(top, bottom, t));
                            }
                        }
                    }
            }
            pen += advance;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The shield: a heater shield with a dipped top edge, straight sides and a pointed foot,
// split into a lighter left and a darker right half, an orange rim and a white tick.
// Drawn with 8 x 8 samples per pixel so that its curves are smooth at any size.

struct Box {
    double x, y, w, h;
};

// Is the point (px, py) inside the shield outline that fills `b`?
bool in_shield(const Box& b, double px, double py) {
    const double u = (px - (b.x + b.w / 2)) / (b.w / 2);  // -1 .. 1 across
    const double v = (py - b.y) / b.h;                    //  0 .. 1 down
    if (u < -1 || u > 1 || v > 1) return false;
    const double top = 0.07 * (1 - u * u);  // the top edge dips towards the middle
    if (v < top) return false;
    constexpr double shoulder = 0.42;  // sides run straight down to here, then close to the point
    if (v <= shoulder) return true;
    const double t = (v - shoulder) / (1 - shoulder);
    const double half = (1 - t) * (1 + 0.8 * t);
    return std::abs(u) <= half;
}

double distance_to_segment(double px, double py, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double t = clamp01(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy));
    const double ex = ax + t * dx - px, ey = ay + t * dy - py;
    return std::sqrt(ex * ex + ey * ey);
}

struct ShieldStyle {
    double rim;    // rim width in pixels
    double tick;   // half the stroke width of the tick, in pixels
};

// Colour of one sample inside the shield, or false if the sample is outside it.
bool shield_sample(const Box& outer, const ShieldStyle& s, double px, double py, Colour& out) {
    if (!in_shield(outer, px, py)) return false;
    const double v = clamp01((py - outer.y) / outer.h);
    const Box inner{outer.x + s.rim, outer.y + s.rim, outer.w - 2 * s.rim, outer.h - 2.6 * s.rim};
    if (!in_shield(inner, px, py)) {
        out = mix(rgb(255, 178, 60), rgb(232, 104, 16), v);  // orange rim, darker towards the foot
        return true;
    }
    // The tick, in the shield's own coordinates (fractions of the box).
    const auto P = [&](double fx, double fy) { return std::array<double, 2>{outer.x + fx * outer.w, outer.y + fy * outer.h}; };
    const auto a = P(0.30, 0.50), m = P(0.45, 0.66), z = P(0.72, 0.32);
    const double d = std::min(distance_to_segment(px, py, a[0], a[1], m[0], m[1]),
                              distance_to_segment(px, py, m[0], m[1], z[0], z[1]));
    if (d <= s.tick) {
        out = rgb(250, 252, 255);
        return true;
    }
    const bool left = px < outer.x + outer.w / 2;
    out = left ? mix(rgb(58, 132, 236), rgb(22, 66, 160), v) : mix(rgb(30, 88, 190), rgb(12, 38, 104), v);
    return true;
}

void draw_shield(Image& img, const Box& box, const ShieldStyle& style) {
    constexpr int n = 8;
    for (int y = int(box.y); y < std::min(img.height(), int(box.y + box.h) + 1); ++y)
        for (int x = int(box.x); x < std::min(img.width(), int(box.x + box.w) + 1); ++x) {
            Colour sum{};
            for (int sy = 0; sy < n; ++sy)
                for (int sx = 0; sx < n; ++sx) {
                    Colour c;
                    if (!shield_sample(box, style, x + (sx + 0.5) / n, y + (sy + 0.5) / n, c)) c = img.at(x, y);
                    sum = sum + c;
                }
            img.at(x, y) = sum * (1.0 / (n * n));
        }
}

// A soft blue glow behind the shield: adds light that fades with distance from a centre.
void add_glow(Image& img, double cx, double cy, double radius, const Colour& light) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            const double d = std::sqrt(dx * dx + dy * dy) / radius;
            if (d >= 1) continue;
            const double k = (1 - d) * (1 - d);
            img.at(x, y) = img.at(x, y) + light * k;
        }
}

// ---------------------------------------------------------------------------------------------
// The pictures

constexpr Colour kNavy = rgb(14, 34, 74);
constexpr Colour kNight = rgb(2, 4, 12);

Image make_banner() {
    Image img(412, 128);
    // Dark blue on the left fading to near black on the right, a little darker at the bottom,
    // so the banner sits naturally on the black window.
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const double h = double(x) / (img.width() - 1);
            const double v = double(y) / (img.height() - 1);
            img.at(x, y) = mix(kNavy, kNight, clamp01(h * 1.15)) * (1.0 - 0.35 * v);
        }
    add_glow(img, 64, 62, 78, rgb(20, 52, 110));

    draw_shield(img, Box{26, 14, 78, 100}, ShieldStyle{5.0, 4.2});

    const Colour white_top = rgb(255, 255, 255), white_bottom = rgb(196, 212, 236);
    const Colour orange_top = rgb(255, 184, 72), orange_bottom = rgb(240, 120, 20);
    const Colour shadow = rgb(0, 0, 0);
    const int left = 126;
    draw_text(img, left, 20, "DRAVONIL", 3, 1, 1, white_top, white_bottom, shadow);
    draw_text(img, left, 48, "VERIZ AVIZE", 3, 1, 1, white_top, white_bottom, shadow);

    // An orange rule under the name that fades out to the right.
    const int rule_w = text_width("VERIZ AVIZE", 3, 1) + 1;
    for (int x = 0; x < rule_w; ++x) {
        const double fade = 1.0 - double(x) / rule_w;
        for (int y = 78; y < 80; ++y) img.at(left + x, y) = mix(img.at(left + x, y), orange_bottom, fade);
    }

    draw_text(img, left, 88, "USB Security", 2, 0, 1, orange_top, orange_bottom, shadow);
    const std::string_view version = "Beta 0.1";
    draw_text(img, img.width() - 12 - text_width(version, 1, 1), 128 - 16, version, 1, 0, 1, rgb(120, 138, 168),
              rgb(120, 138, 168), rgb(0, 0, 0));
    return img;
}

Image make_icon() {
    Image img(32, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const double dx = x + 0.5 - 16, dy = y + 0.5 - 14;
            img.at(x, y) = mix(rgb(20, 46, 98), kNight, clamp01(std::sqrt(dx * dx + dy * dy) / 22));
        }
    draw_shield(img, Box{4, 1, 24, 30}, ShieldStyle{2.0, 1.7});
    return img;
}

// ---------------------------------------------------------------------------------------------
// Writing the files

class Bytes {
public:
    void u8(std::uint8_t v) { data_.push_back(v); }
    void u16(std::uint16_t v) {
        u8(std::uint8_t(v & 0xFF));
        u8(std::uint8_t(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(std::uint16_t(v & 0xFFFF));
        u16(std::uint16_t(v >> 16));
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void chars(std::string_view s) {
        for (char c : s) u8(std::uint8_t(c));
    }
    const std::vector<std::uint8_t>& data() const { return data_; }
    std::size_t size() const { return data_.size(); }

private:
    std::vector<std::uint8_t> data_;
};

constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0;

// 24-bit pixel rows, bottom row first, blue-green-red, each row padded to 4 bytes.
void pixel_rows(Bytes& out, const Image& img) {
    const int row_bytes = img.width() * 3;
    const int padding = (4 - row_bytes % 4) % 4;
    for (int y = img.height() - 1; y >= 0; --y) {
        for (int x = 0; x < img.width(); ++x) {
            const Colour& c = img.at(x, y);
            out.u8(to_byte(c.b));
            out.u8(to_byte(c.g));
            out.u8(to_byte(c.r));
        }
        for (int i = 0; i < padding; ++i) out.u8(0);
    }
}

std::vector<std::uint8_t> banner_bmp(const Image& img) {
    constexpr std::uint32_t kFileHeaderSize = 14;
    constexpr std::uint32_t kTrailer = 2;         // two zero bytes after the rows, counted in biSizeImage
    constexpr std::int32_t kPixelsPerMetre = 2834;  // 72 dpi
    const std::uint32_t row_bytes = (std::uint32_t(img.width()) * 3 + 3) / 4 * 4;
    const std::uint32_t image_size = row_bytes * std::uint32_t(img.height()) + kTrailer;
    const std::uint32_t offset = kFileHeaderSize + kInfoHeaderSize;

    Bytes out;
    out.chars("BM");
    out.u32(offset + image_size);  // bfSize
    out.u16(0);                    // bfReserved1
    out.u16(0);                    // bfReserved2
    out.u32(offset);               // bfOffBits
    out.u32(kInfoHeaderSize);
    out.i32(img.width());
    out.i32(img.height());  // positive: rows stored bottom-up
    out.u16(1);             // biPlanes
    out.u16(24);            // biBitCount
    out.u32(kBiRgb);
    out.u32(image_size);
    out.i32(kPixelsPerMetre);
    out.i32(kPixelsPerMetre);
    out.u32(0);  // biClrUsed
    out.u32(0);  // biClrImportant
    pixel_rows(out, img);
    for (std::uint32_t i = 0; i < kTrailer; ++i) out.u8(0);
    if (out.size() != offset + image_size) throw std::logic_error("banner size does not add up");
    return out.data();
}

std::vector<std::uint8_t> icon_file(const Image& img) {
    constexpr std::uint32_t kDirSize = 6 + 16;  // ICONDIR with one ICONDIRENTRY
    const std::uint32_t xor_size = (std::uint32_t(img.width()) * 3 + 3) / 4 * 4 * std::uint32_t(img.height());
    const std::uint32_t and_row = (std::uint32_t(img.width()) + 31) / 32 * 4;
    const std::uint32_t and_size = and_row * std::uint32_t(img.height());
    const std::uint32_t image_bytes = kInfoHeaderSize + xor_size + and_size;

    Bytes out;
    // ICONDIR
    out.u16(0);  // reserved
    out.u16(1);  // type: icon
    out.u16(1);  // one image
    // ICONDIRENTRY
    out.u8(std::uint8_t(img.width()));
    out.u8(std::uint8_t(img.height()));
    out.u8(0);    // bColorCount: no palette
    out.u8(0);    // bReserved
    out.u16(1);   // wPlanes
    out.u16(24);  // wBitCount
    out.u32(image_bytes);
    out.u32(kDirSize);
    // The image: a BITMAPINFOHEADER whose height counts the colour bitmap and the mask.
    out.u32(kInfoHeaderSize);
    out.i32(img.width());
    out.i32(img.height() * 2);
    out.u16(1);
    out.u16(24);
    out.u32(kBiRgb);
    out.u32(xor_size + and_size);
    out.i32(0);
    out.i32(0);
    out.u32(0);
    out.u32(0);
    pixel_rows(out, img);
    for (std::uint32_t i = 0; i < and_size; ++i) out.u8(0);  // AND mask: every pixel opaque
    if (out.size() != kDirSize + image_bytes) throw std::logic_error("icon size does not add up");
    return out.data();
}

void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    f.close();
    if (!f) throw std::runtime_error("cannot write " + path.string());
    std::printf("wrote %s (%zu bytes)\n", path.string().c_str(), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output-dir>\n", argc > 0 ? argv[0] : "make_resources");
        return 2;
    }
    try {
        const std::filesystem::path dir = argv[1];
        std::filesystem::create_directories(dir);
        write_file(dir / "banner.bmp", banner_bmp(make_banner()));
        write_file(dir / "app.ico", icon_file(make_icon()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_resources: %s\n", e.what());
        return 1;
    }
    return 0;
}
