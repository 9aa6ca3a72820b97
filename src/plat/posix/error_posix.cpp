// The system's text for the calling thread's last error (errno).
#include "plat/process.h"

#include <cerrno>
#include <cstring>

namespace plat {

std::string lastErrorText() {
    int code = errno;
    // glibc makes up "Unknown error N" for codes it has no text for.
    if (strerrordesc_np(code) == nullptr) return "error " + std::to_string(code);
    char buf[256];
    std::string text = strerror_r(code, buf, sizeof buf);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) return "error " + std::to_string(code);
    return text;
}

} // namespace plat
