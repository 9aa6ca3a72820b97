// Writes the launcher's icon as PNG files: qm-icon <folder> writes <folder>/qm-launcher-<size>.png
// for each size that scripts/make_icons.py asks for (256 128 64 32 without sizes).
#include "selftest/png.h"
#include "ui/icon.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: qm-icon <folder> [size...]\n", stderr);
        return 2;
    }
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {256, 128, 64, 32};
    for (int size : sizes) {
        if (size <= 0 || size > 1024) {
            std::fprintf(stderr, "qm-icon: no icon of size %d\n", size);
            return 2;
        }
        const std::string path =
            std::string(argv[1]) + "/qm-launcher-" + std::to_string(size) + ".png";
        const std::vector<unsigned char> pixels = ui::drawIcon(size);
        if (!writePng(path, pixels.data(), unsigned(size), unsigned(size), true)) {
            std::fprintf(stderr, "qm-icon: %s could not be written\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
