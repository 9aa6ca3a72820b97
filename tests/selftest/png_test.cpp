// PNG writer: exact bytes of the smallest image · stored-block boundaries checked here and the
// pixels read back by Python's zlib · refused sizes and paths.
#include "selftest/png.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

using Pixels = std::vector<unsigned char>;

// Every byte different from its neighbours, so a shifted or dropped byte shows.
Pixels pattern(unsigned width, unsigned height) {
    Pixels p(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < p.size(); ++i)
        p[i] = static_cast<unsigned char>((i * 7 + i / 251) & 0xFF);
    return p;
}

// The pixels as the file should hold them: RGB drops every fourth byte.
std::string expectedPixels(const Pixels& rgba, bool withAlpha) {
    if (withAlpha) return std::string(rgba.begin(), rgba.end());
    std::string out;
    for (size_t i = 0; i < rgba.size(); i += 4)
        out.append(rgba.begin() + i, rgba.begin() + i + 3);
    return out;
}

uint32_t be32(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
           uint32_t(uint8_t(s[at + 2])) << 8 | uint32_t(uint8_t(s[at + 3]));
}

struct Block {
    int final;
    size_t length;
    bool operator==(const Block&) const = default;
};

// The stored deflate blocks of the file's one IDAT chunk, which starts at offset 33.
std::vector<Block> storedBlocks(const std::string& file) {
    std::vector<Block> blocks;
    const size_t idatLength = be32(file, 33);
    EXPECT_EQ(file.substr(37, 4), "IDAT");
    EXPECT_EQ(file.size(), 45 + idatLength + 12);
    size_t at = 41 + 2; // past the zlib header
    const size_t end = 41 + idatLength - 4;
    while (at < end) {
        const int final = uint8_t(file[at]);
        const size_t len = uint8_t(file[at + 1]) | uint8_t(file[at + 2]) << 8;
        const size_t nlen = uint8_t(file[at + 3]) | uint8_t(file[at + 4]) << 8;
        EXPECT_EQ(len ^ 0xFFFF, nlen);
        blocks.push_back({final, len});
        at += 5 + len;
    }
    EXPECT_EQ(at, end);
    return blocks;
}

struct Decoded {
    bool ok = false;
    std::string info; // "width height colour_type"
    std::string pixels;
};

Decoded decodeWithPython(const TempDir& dir, const std::string& png) {
    const std::string script = QM_SOURCE_DIR "/tests/selftest/png_decode.py";
    const std::string raw = dir.file("decoded.raw"), out = dir.file("decoded.txt");
    const std::string command =
        "python3 \"" + script + "\" \"" + png + "\" \"" + raw + "\" > \"" + out + "\" 2>&1";
    Decoded d;
    d.ok = std::system(command.c_str()) == 0;
    d.info = readBytes(out);
    if (!d.info.empty() && d.info.back() == '\n') d.info.pop_back();
    if (d.ok) d.pixels = readBytes(raw);
    return d;
}

TEST(WritePng, OnePixelExactBytes) {
    TempDir dir;
    const unsigned char pixel[4] = {10, 20, 30, 255};
    const std::string path = dir.file("one.png");
    ASSERT_TRUE(writePng(path, pixel, 1, 1, false));
    const unsigned char expected[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a,                         // signature
        0x00, 0x00, 0x00, 0x0d, 'I',  'H',  'D',  'R',  0x00, 0x00, 0x00, 0x01, // IHDR
        0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00, 0x00, 0x90, 0x77, 0x53,
        0xde, 0x00, 0x00, 0x00, 0x0f, 'I',  'D',  'A',  'T',                    // IDAT
        0x78, 0x01, 0x01, 0x04, 0x00, 0xfb, 0xff, 0x00, 0x0a, 0x14, 0x1e,       // zlib, R
        0x00, 0x68, 0x00, 0x3d, 0xe8, 0x0c, 0xbb, 0x83,                         // Adler, CRC
        0x00, 0x00, 0x00, 0x00, 'I',  'E',  'N',  'D',  0xae, 0x42, 0x60, 0x82, // IEND
    };
    EXPECT_EQ(readBytes(path), std::string(std::begin(expected), std::end(expected)));

    const Decoded d = decodeWithPython(dir, path);
    ASSERT_TRUE(d.ok) << d.info;
    EXPECT_EQ(d.info, "1 1 2");
    EXPECT_EQ(d.pixels, std::string("\x0a\x14\x1e"));
}

struct ImageCase {
    const char* name;
    unsigned width, height;
    bool withAlpha;
    std::vector<Block> blocks;
};

TEST(WritePng, StoredBlocksAndPixelsReadBack) {
    const ImageCase cases[] = {
        {"RGB, R of 65535 bytes", 1456, 15, false, {{1, 65535}}},
        {"RGB, R of 65536 bytes", 85, 256, false, {{0, 65535}, {1, 1}}},
        {"RGBA, R of 65535 bytes", 64, 255, true, {{1, 65535}}},
        {"RGBA, R of exactly two full blocks", 1, 26214, true, {{0, 65535}, {1, 65535}}},
        {"RGB, four blocks", 341, 200, false, {{0, 65535}, {0, 65535}, {0, 65535}, {1, 8195}}},
        {"RGBA, small", 3, 2, true, {{1, 26}}},
        {"one row", 5, 1, false, {{1, 16}}},
        {"one column", 1, 7, false, {{1, 28}}},
    };
    TempDir dir;
    for (const ImageCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Pixels pixels = pattern(c.width, c.height);
        const std::string path = dir.file("image.png");
        ASSERT_TRUE(writePng(path, pixels.data(), c.width, c.height, c.withAlpha));
        const std::string file = readBytes(path);
        EXPECT_EQ(file[25], c.withAlpha ? 6 : 2);
        EXPECT_EQ(storedBlocks(file), c.blocks);

        const Decoded d = decodeWithPython(dir, path);
        ASSERT_TRUE(d.ok) << d.info;
        EXPECT_EQ(d.info, std::to_string(c.width) + " " + std::to_string(c.height) + " " +
                              (c.withAlpha ? "6" : "2"));
        EXPECT_TRUE(d.pixels == expectedPixels(pixels, c.withAlpha));
    }
}

TEST(WritePng, ReplacesAnExistingFile) {
    TempDir dir;
    const std::string path = dir.write("shot.png", std::string(100000, 'x'));
    const unsigned char pixel[4] = {1, 2, 3, 4};
    ASSERT_TRUE(writePng(path, pixel, 1, 1, true));
    EXPECT_EQ(std::filesystem::file_size(path), 73u);
}

TEST(WritePng, RefusedWithoutWritingAnything) {
    TempDir dir;
    const unsigned char pixel[4] = {1, 2, 3, 4};
    struct Case {
        const char* name;
        const unsigned char* pixels;
        unsigned width, height;
    };
    const Case cases[] = {
        {"width 0", pixel, 0, 1},
        {"height 0", pixel, 1, 0},
        {"no pixels", nullptr, 1, 1},
        // Too large for one PNG chunk: refused before a single pixel is read.
        {"huge both ways", pixel, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"one huge row", pixel, 0x40000000u, 1},
        {"many rows", pixel, 1, 0x20000000u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file("refused.png");
        for (bool alpha : {false, true})
            EXPECT_FALSE(writePng(path, c.pixels, c.width, c.height, alpha));
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

TEST(WritePng, FolderThatDoesNotExist) {
    TempDir dir;
    const unsigned char pixel[4] = {1, 2, 3, 4};
    EXPECT_FALSE(writePng(dir.file("missing/shot.png"), pixel, 1, 1, false));
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
}

} // namespace
