#include "app/textfile.h"

#include "plat/fs.h"

#include <cstdio>
#include <cstring>
#include <vector>

bool forEachLine(const std::string& path, const std::function<bool(std::string_view)>& fn) {
    FILE* f = plat::openFile(path, "rb");
    if (!f) return false;
    std::vector<char> chunk(1 << 16);
    std::string pending; // the start of a line that continues in the next chunk
    bool stopped = false;
    while (!stopped) {
        size_t got = std::fread(chunk.data(), 1, chunk.size(), f);
        if (got == 0) break;
        const char* p = chunk.data();
        const char* end = p + got;
        while (p < end) {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
            if (!lf) {
                pending.append(p, end);
                break;
            }
            std::string_view line(p, lf - p);
            if (!pending.empty()) {
                pending.append(p, lf);
                line = pending;
            }
            stopped = !fn(line);
            pending.clear();
            p = lf + 1;
            if (stopped) break;
        }
    }
    bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) return false;
    if (!stopped && !pending.empty()) fn(pending);
    return true;
}

void forEachLineOfText(std::string_view text, const std::function<bool(std::string_view)>& fn) {
    while (!text.empty()) {
        const size_t lf = text.find('\n');
        if (!fn(text.substr(0, lf))) return;
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    }
}
