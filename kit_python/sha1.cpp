#include "sha1.h"

#include "plat/fs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

uint32_t rol(uint32_t v, int n) {
    return (v << n) | (v >> (32 - n));
}

} // namespace

Sha1::Sha1() : h_{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0} {}

void Sha1::block(const unsigned char* p) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 |
               uint32_t(p[4 * i + 2]) << 8 | p[4 * i + 3];
    for (int i = 16; i < 80; ++i)
        w[i] = rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        uint32_t t = rol(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rol(b, 30);
        b = a;
        a = t;
    }
    h_[0] += a;
    h_[1] += b;
    h_[2] += c;
    h_[3] += d;
    h_[4] += e;
}

void Sha1::update(const void* data, std::size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    total_ += n;
    if (used_) {
        std::size_t take = std::min(n, sizeof buf_ - used_);
        std::memcpy(buf_ + used_, p, take);
        used_ += take;
        p += take;
        n -= take;
        if (used_ < sizeof buf_) return;
        block(buf_);
        used_ = 0;
    }
    for (; n >= 64; p += 64, n -= 64)
        block(p);
    std::memcpy(buf_, p, n);
    used_ = n;
}

std::string Sha1::hex() {
    uint64_t bits = total_ * 8;
    unsigned char pad[72] = {0x80};
    std::size_t padLen = (used_ < 56 ? 56 : 120) - used_;
    for (int i = 0; i < 8; ++i)
        pad[padLen + i] = (unsigned char)(bits >> (56 - 8 * i));
    update(pad, padLen + 8);
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (uint32_t v : h_)
        for (int shift = 28; shift >= 0; shift -= 4)
            out += digits[(v >> shift) & 15];
    return out;
}

std::string sha1Hex(const std::string& bytes) {
    Sha1 h;
    h.update(bytes.data(), bytes.size());
    return h.hex();
}

bool fileSha1(const std::string& path, std::string& hex) {
    FILE* f = plat::openFile(path, "rb");
    if (!f) return false;
    Sha1 h;
    std::vector<char> buf(1 << 20);
    std::size_t got;
    while ((got = std::fread(buf.data(), 1, buf.size(), f)) > 0)
        h.update(buf.data(), got);
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (ok) hex = h.hex();
    return ok;
}
