// Desktop helpers shared by every platform: web addresses and file addresses.
#include "plat/desktop.h"

namespace plat {

static bool isAsciiAlpha(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

static bool isAsciiAlnum(unsigned char c) {
    return isAsciiAlpha(c) || (c >= '0' && c <= '9');
}

bool isWebAddress(const std::string& target) {
    size_t colon = target.find("://");
    // A one-letter scheme would be a Windows drive ("C:"); real schemes are longer.
    if (colon == std::string::npos || colon < 2) return false;
    if (!isAsciiAlpha(static_cast<unsigned char>(target[0]))) return false;
    for (size_t i = 1; i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(target[i]);
        if (!isAsciiAlnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

std::string fileUrl(const std::string& absolutePath) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : absolutePath) {
        if (isAsciiAlnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            url += char(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url;
}

} // namespace plat
