// The fuzz targets' shared helpers, and the commit id that the launcher's build generates.
#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

// The main build writes this from the source's git commit; the parsers never look at it.
extern const char* const kLauncherCommit;
const char* const kLauncherCommit = "0000000000000000000000000000000000000000";

namespace qmfuzz {

namespace {

// In memory where the system has such a folder: the targets write their input once per run.
std::string makeFolder() {
    std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                     ? std::filesystem::path("/dev/shm")
                                     : std::filesystem::temp_directory_path();
    std::filesystem::path dir = base / ("qm-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    static const std::string remove = dir.string();
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(remove, ec);
    });
    return dir.string();
}

} // namespace

const std::string& inputFile(const uint8_t* data, size_t size) {
    static const std::string path = makeFolder() + "/input";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
    return path;
}

const std::string& inputFile(const std::string& bytes) {
    return inputFile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::vector<std::string> lines(const uint8_t* data, size_t size) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != '\n') continue;
        out.emplace_back(reinterpret_cast<const char*>(data) + start, i - start);
        start = i + 1;
    }
    if (start < size) out.emplace_back(reinterpret_cast<const char*>(data) + start, size - start);
    return out;
}

void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "property failed: %s\n%s\n", what, detail.c_str());
    std::abort();
}

} // namespace qmfuzz
