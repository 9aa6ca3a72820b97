// Files and folders on POSIX systems.
#include "plat/fs.h"

#include "plat/env.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace plat {

std::string exePath() {
    std::string buf(256, '\0');
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return "";
        if (size_t(n) < buf.size()) {
            buf.resize(size_t(n));
            return buf;
        }
        buf.resize(buf.size() * 2);
    }
}

std::string exeDir() {
    std::string path = exePath();
    return path.empty() ? "." : parentDir(path);
}

std::string dataHome() {
    std::string xdg = getEnv("XDG_DATA_HOME");
    if (!xdg.empty()) return xdg;
    std::string home = getEnv("HOME");
    return home.empty() ? "" : joinPath(home, ".local/share");
}

std::string absolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return path;
    return path.empty() ? std::string(cwd) : joinPath(cwd, path);
}

// Converts a POSIX time to the Windows epoch and unit that the launcher compares.
static uint64_t toFileTime(const struct timespec& t) {
    const uint64_t kEpochDiff = 11644473600ull; // seconds from 1601 to 1970
    return (uint64_t(t.tv_sec) + kEpochDiff) * 10000000ull + uint64_t(t.tv_nsec) / 100;
}

std::vector<FileEntry> listFiles(const std::string& dir, const std::string& suffix) {
    std::vector<FileEntry> out;
    DIR* d = opendir(dir.c_str());
    if (!d) return out;
    while (struct dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() < suffix.size() ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        struct stat st;
        if (fstatat(dirfd(d), e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
        out.push_back({joinPath(dir, name), toFileTime(st.st_mtim)});
    }
    closedir(d);
    return out;
}

std::vector<std::string> listSubfolders(const std::string& dir) {
    std::vector<std::string> out;
    DIR* d = opendir(dir.c_str());
    if (!d) return out;
    while (struct dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
            continue;
        out.push_back(joinPath(dir, name));
    }
    closedir(d);
    return out;
}

uint64_t freeSpace(const std::string& path) {
    struct statvfs st;
    if (statvfs(path.c_str(), &st) != 0) return 0;
    return uint64_t(st.f_bavail) * uint64_t(st.f_frsize);
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool makeDirs(const std::string& path) {
    if (path.empty()) return false;
    if (isDirectory(path)) return true;
    std::string parent = parentDir(path);
    if (parent != path && parent != "." && !isDirectory(parent)) makeDirs(parent);
    return mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && isDirectory(path));
}

bool removePath(const std::string& path) {
    return ::remove(path.c_str()) == 0;
}

bool hardLink(const std::string& existing, const std::string& link) {
    return ::link(existing.c_str(), link.c_str()) == 0;
}

FILE* openFile(const std::string& path, const char* mode) {
    return fopen(path.c_str(), mode);
}

bool fileInfo(const std::string& path, uint64_t& size, uint64_t& lastWrite) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    size = uint64_t(st.st_size);
    lastWrite = toFileTime(st.st_mtim);
    return true;
}

bool makeExecutable(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && chmod(path.c_str(), st.st_mode | 0755) == 0;
}

bool seekFile(FILE* f, uint64_t offset) {
    return offset <= uint64_t(INT64_MAX) && fseeko(f, off_t(offset), SEEK_SET) == 0;
}

bool flushToDisk(FILE* f) {
    return fflush(f) == 0 && fsync(fileno(f)) == 0;
}

bool replaceFile(const std::string& from, const std::string& to) {
    if (rename(from.c_str(), to.c_str()) != 0) return false;
    // The rename lives in the folder's own data: without this a power cut may undo it.
    int fd = open(parentDir(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    return true;
}

} // namespace plat

bool pathExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}
