// SHA-1, for the disc check's table of known good images and the stamps of finished steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Sha1 {
public:
    Sha1();
    void update(const void* data, std::size_t n);
    // The digest as 40 lower-case hexadecimal digits; the object is spent afterwards.
    std::string hex();

private:
    void block(const unsigned char* p);
    uint32_t h_[5];
    unsigned char buf_[64];
    std::size_t used_ = 0;
    uint64_t total_ = 0;
};

std::string sha1Hex(const std::string& bytes);
// The SHA-1 of a file's content; false when it cannot be read whole.
bool fileSha1(const std::string& path, std::string& hex);
