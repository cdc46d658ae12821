// Reading renderings back in tests: 8-bit gray images from pdftoppm (PGM) and the
// uncompressed plates of Ghostscript's tiffsep device.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vexa::test {

// An 8-bit gray image (tiffsep plates uncompressed, or pdftoppm PGM).
struct Gray {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    uint8_t at(double fx, double fy) const {  // fractions of width and height from top left
        int x = std::clamp(static_cast<int>(fx * w), 0, w - 1);
        int y = std::clamp(static_cast<int>(fy * h), 0, h - 1);
        return px[static_cast<size_t>(y * w + x)];
    }
    // darkest pixel in a small box around the point
    uint8_t darkest(double fx, double fy, int radius = 1) const {
        int cx = static_cast<int>(fx * w), cy = static_cast<int>(fy * h);
        uint8_t m = 255;
        for (int y = cy - radius; y <= cy + radius; ++y)
            for (int x = cx - radius; x <= cx + radius; ++x)
                if (x >= 0 && y >= 0 && x < w && y < h)
                    m = std::min(m, px[static_cast<size_t>(y * w + x)]);
        return m;
    }
};

inline Gray readPGM(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int maxv = 0;
    Gray g;
    // Header fields may be separated by comment lines (Ghostscript writes one).
    auto field = [&](auto& v) {
        for (in >> std::ws; in.peek() == '#'; in >> std::ws) in.ignore(1 << 20, '\n');
        in >> v;
    };
    field(magic);
    field(g.w);
    field(g.h);
    field(maxv);
    in.get();
    if (magic != "P5" || !in || g.w <= 0 || g.h <= 0) return Gray{};
    g.px.resize(static_cast<size_t>(g.w * g.h));
    in.read(reinterpret_cast<char*>(g.px.data()), static_cast<std::streamsize>(g.px.size()));
    return g;
}

// Minimal reader of the little-endian, uncompressed 8-bit plates tiffsep writes.
// Plates are written black-is-zero: 0 is full ink, 255 none.
inline Gray readPlate(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u16 = [&](size_t o) { return static_cast<uint32_t>(d[o] | d[o + 1] << 8); };
    auto u32 = [&](size_t o) { return u16(o) | u16(o + 2) << 16; };
    Gray g;
    if (d.size() < 8) return g;
    size_t ifd = u32(4);
    uint32_t n = u16(ifd), offsets = 0, offType = 0, count = 0;
    for (uint32_t i = 0; i < n; ++i) {
        size_t e = ifd + 2 + 12 * i;
        uint32_t tag = u16(e), type = u16(e + 2), cnt = u32(e + 4);
        uint32_t val = type == 3 ? u16(e + 8) : u32(e + 8);
        if (tag == 256) g.w = static_cast<int>(val);
        if (tag == 257) g.h = static_cast<int>(val);
        if (tag == 273) {
            offsets = val;
            offType = type;
            count = cnt;
        }
    }
    g.px.assign(static_cast<size_t>(g.w * g.h), 255);
    std::vector<uint32_t> strips;
    if (count == 1)
        strips.push_back(offsets);
    else
        for (uint32_t i = 0; i < count; ++i)
            strips.push_back(offType == 3 ? u16(offsets + 2 * i) : u32(offsets + 4 * i));
    // strips are contiguous rows; read them in order
    size_t pos = 0;
    for (size_t s = 0; s < strips.size() && pos < g.px.size(); ++s) {
        size_t start = strips[s];
        size_t len = (s + 1 < strips.size()) ? strips[s + 1] - start : g.px.size() - pos;
        for (size_t k = 0; k < len && pos < g.px.size() && start + k < d.size(); ++k)
            g.px[pos++] = d[start + k];
    }
    return g;
}

}  // namespace vexa::test
