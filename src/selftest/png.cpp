// PNG writer: checksums · filtered rows · zlib stream of stored blocks · chunks · the file.
#include "selftest/png.h"

#include "plat/fs.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <new>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// PNG's CRC-32: reflected polynomial 0xEDB88320, all-ones start, final complement.
const std::array<uint32_t, 256>& crcTable() {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

uint32_t crc32(const unsigned char* data, size_t size) {
    const auto& table = crcTable();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i)
        c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

class Adler32 {
public:
    void add(const unsigned char* data, size_t size) {
        constexpr uint32_t kMod = 65521;
        // 5552 bytes is the longest run whose sums cannot overflow 32 bits before the modulo.
        constexpr size_t kRun = 5552;
        while (size > 0) {
            size_t n = std::min(size, kRun);
            for (size_t i = 0; i < n; ++i) {
                a_ += data[i];
                b_ += a_;
            }
            a_ %= kMod;
            b_ %= kMod;
            data += n;
            size -= n;
        }
    }
    uint32_t value() const { return (b_ << 16) | a_; }

private:
    uint32_t a_ = 1, b_ = 0;
};

void putBE32(Bytes& out, uint32_t v) {
    out.push_back(static_cast<unsigned char>(v >> 24));
    out.push_back(static_cast<unsigned char>(v >> 16));
    out.push_back(static_cast<unsigned char>(v >> 8));
    out.push_back(static_cast<unsigned char>(v));
}

void putLE16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

// The filtered rows R go straight into the zlib stream as stored deflate blocks of at most 65535
// bytes; each block's header is written when its first byte arrives, since R's size is known.
class StoredStream {
public:
    StoredStream(Bytes& out, uint64_t total) : out_(out), total_(total) {}

    void put(const unsigned char* data, size_t size) {
        while (size > 0) {
            if (blockLeft_ == 0) startBlock();
            size_t n = std::min<size_t>(size, blockLeft_);
            out_.insert(out_.end(), data, data + n);
            adler_.add(data, n);
            data += n;
            size -= n;
            blockLeft_ -= n;
            written_ += n;
        }
    }
    uint32_t adler() const { return adler_.value(); }

private:
    void startBlock() {
        const uint64_t len = std::min<uint64_t>(65535, total_ - written_);
        out_.push_back(written_ + len == total_ ? 1 : 0); // final block flag, type 00 (stored)
        putLE16(out_, static_cast<uint16_t>(len));
        putLE16(out_, static_cast<uint16_t>(~len));
        blockLeft_ = len;
    }

    Bytes& out_;
    const uint64_t total_;
    uint64_t written_ = 0;
    uint64_t blockLeft_ = 0;
    Adler32 adler_;
};

// Everything from the IDAT chunk's length to its CRC.
void putImageChunk(Bytes& file, const unsigned char* pixels, unsigned width, unsigned height,
                   bool withAlpha) {
    const size_t channels = withAlpha ? 4 : 3;
    const uint64_t total = static_cast<uint64_t>(height) * (width * channels + 1);
    const uint64_t blocks = (total + 65534) / 65535;
    const uint64_t length = 2 + total + blocks * 5 + 4;
    file.reserve(file.size() + 12 + length + 12);
    putBE32(file, static_cast<uint32_t>(length));
    const size_t typeAt = file.size();
    file.insert(file.end(), {'I', 'D', 'A', 'T', 0x78, 0x01});
    StoredStream stream(file, total);
    const unsigned char none = 0; // filter type of every row
    for (unsigned y = 0; y < height; ++y) {
        stream.put(&none, 1);
        const unsigned char* row = pixels + static_cast<size_t>(y) * width * 4;
        if (withAlpha) {
            stream.put(row, static_cast<size_t>(width) * 4);
            continue;
        }
        for (unsigned x = 0; x < width; ++x)
            stream.put(row + static_cast<size_t>(x) * 4, 3);
    }
    putBE32(file, stream.adler());
    putBE32(file, crc32(file.data() + typeAt, file.size() - typeAt));
}

void putChunk(Bytes& file, const char type[4], const Bytes& data) {
    putBE32(file, static_cast<uint32_t>(data.size()));
    size_t typeAt = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data.begin(), data.end());
    putBE32(file, crc32(file.data() + typeAt, 4 + data.size()));
}

// A PNG chunk holds at most 2^31 - 1 bytes, and the one IDAT chunk holds R plus 5 bytes per
// stored block and 6 of zlib framing; anything larger cannot be written as this format says.
bool fitsOneChunk(unsigned width, unsigned height, bool withAlpha) {
    constexpr uint64_t kChunkMax = 0x7FFFFFFF;
    const uint64_t row = static_cast<uint64_t>(width) * (withAlpha ? 4 : 3) + 1;
    if (row > kChunkMax / height) return false;
    const uint64_t r = row * height;
    const uint64_t idat = r + (r / 65535 + 1) * 5 + 6;
    return idat <= kChunkMax;
}

} // namespace

bool writePng(const std::string& path, const unsigned char* pixels, unsigned width, unsigned height,
              bool withAlpha) {
    if (width == 0 || height == 0 || !pixels) return false;
    if (!fitsOneChunk(width, height, withAlpha)) return false;

    Bytes header;
    putBE32(header, width);
    putBE32(header, height);
    header.push_back(8);                 // bit depth
    header.push_back(withAlpha ? 6 : 2); // colour type RGBA or RGB
    header.push_back(0);                 // compression
    header.push_back(0);                 // filter method
    header.push_back(0);                 // interlace

    Bytes file;
    try {
        file = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        putChunk(file, "IHDR", header);
        putImageChunk(file, pixels, width, height, withAlpha);
        putChunk(file, "IEND", {});
    } catch (const std::bad_alloc&) {
        return false; // a screenshot is not worth ending the launcher over
    }

    FILE* f = plat::openFile(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok;
}
