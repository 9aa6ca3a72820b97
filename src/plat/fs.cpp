// Path helpers shared by every platform.
#include "plat/fs.h"

#include "plat/env.h"

namespace plat {

static bool isSep(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

std::string joinPath(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (isSep(a.back())) return a + b;
    return a + kPathSep + b;
}

static size_t lastSep(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i)
        if (isSep(path[i - 1])) return i - 1;
    return std::string::npos;
}

std::string parentDir(const std::string& path) {
    size_t i = lastSep(path);
    if (i == std::string::npos) return ".";
    if (i == 0) return path.substr(0, 1);
    return path.substr(0, i);
}

std::string fileName(const std::string& path) {
    size_t i = lastSep(path);
    return i == std::string::npos ? path : path.substr(i + 1);
}

std::string userDir() {
    std::string dir = getEnv("ZOLT_USER_DIR");
    if (dir.empty()) {
        std::string home = dataHome();
        dir = home.empty() ? joinPath(exeDir(), "user") : joinPath(home, "ZO_Duzoru");
    }
    makeDirs(dir);
    return absolutePath(dir);
}

bool removeTree(const std::string& path) {
    for (const std::string& sub : listSubfolders(path))
        removeTree(sub);
    for (const FileEntry& f : listFiles(path, ""))
        removePath(f.path);
    return removePath(path);
}

} // namespace plat
