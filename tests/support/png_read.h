// Reads back the launcher's own screenshots: 8-bit RGB(A) PNG files whose zlib stream holds
// stored deflate blocks only. Enough for tests that check a screenshot's size and pixels; the
// PNG writer itself is checked against an independent decoder elsewhere.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct PngImage {
    unsigned width = 0, height = 0, channels = 0;
    std::vector<unsigned char> pixels; // rows top-down, no filter bytes
    bool ok = false;

    const unsigned char* at(unsigned x, unsigned y) const {
        return pixels.data() + (size_t(y) * width + x) * channels;
    }
};

inline uint32_t pngBe32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

inline PngImage readStoredPng(const std::string& path) {
    PngImage img;
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> f((std::istreambuf_iterator<char>(in)), {});
    if (f.size() < 8 + 25) return img;
    std::vector<unsigned char> z;
    for (size_t p = 8; p + 12 <= f.size();) {
        uint32_t len = pngBe32(&f[p]);
        std::string type(f.begin() + long(p) + 4, f.begin() + long(p) + 8);
        const unsigned char* data = &f[p + 8];
        if (p + 12 + len > f.size()) return img;
        if (type == "IHDR") {
            img.width = pngBe32(data);
            img.height = pngBe32(data + 4);
            img.channels = data[9] == 6 ? 4 : 3;
        } else if (type == "IDAT") {
            z.insert(z.end(), data, data + len);
        }
        p += 12 + len;
    }
    std::vector<unsigned char> raw;
    for (size_t p = 2; p + 5 <= z.size();) {
        bool last = z[p] & 1;
        unsigned len = z[p + 1] | unsigned(z[p + 2]) << 8;
        raw.insert(raw.end(), z.begin() + long(p) + 5, z.begin() + long(p) + 5 + len);
        p += 5 + len;
        if (last) break;
    }
    size_t row = size_t(img.width) * img.channels;
    if (img.width == 0 || raw.size() != (row + 1) * img.height) return img;
    for (unsigned y = 0; y < img.height; ++y)
        img.pixels.insert(img.pixels.end(), raw.begin() + long(y * (row + 1) + 1),
                          raw.begin() + long(y * (row + 1) + 1 + row));
    img.ok = true;
    return img;
}
