// Files and folders on Windows. Every path is UTF-8 here and UTF-16 at the system's calls.
//
// Sections: the executable · folders of the user · listing · files and folders · durable writes
#include "plat/fs.h"

#include "plat/env.h"
#include "plat/win32/wide.h"

#include <io.h>

using plat::win::toUtf8;
using plat::win::toWide;

namespace plat {

// --- the executable ----------------------------------------------------------------------------

std::string exePath() {
    // The name may be longer than MAX_PATH; a result that fills the buffer may have been cut.
    std::wstring buf(260, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), DWORD(buf.size()));
        if (n == 0) return "";
        if (n < buf.size()) return toUtf8(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

std::string exeDir() {
    std::string path = exePath();
    return path.empty() ? "." : parentDir(path);
}

// --- folders of the user -----------------------------------------------------------------------

std::string dataHome() {
    return getEnv("APPDATA");
}

std::string absolutePath(const std::string& path) {
    std::wstring in = toWide(path.empty() ? std::string(".") : path);
    DWORD n = GetFullPathNameW(in.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring out(n, L'\0');
    n = GetFullPathNameW(in.c_str(), DWORD(out.size()), out.data(), nullptr);
    if (n == 0 || n >= out.size()) return path;
    out.resize(n);
    return toUtf8(out);
}

// --- listing -----------------------------------------------------------------------------------

namespace {

bool endsWithNoCase(const std::wstring& name, const std::wstring& suffix) {
    if (name.size() < suffix.size()) return false;
    // Only ASCII letters fold: the suffixes are file extensions.
    auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c; };
    size_t off = name.size() - suffix.size();
    for (size_t i = 0; i < suffix.size(); ++i)
        if (fold(name[off + i]) != fold(suffix[i])) return false;
    return true;
}

// Calls fn for every entry of the folder that the pattern matches, "." and ".." left out.
template <class Fn> void forEachEntry(const std::string& dir, const std::wstring& pattern, Fn fn) {
    std::wstring query = toWide(joinPath(dir, "")) + pattern;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileExW(query.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") fn(name, data);
    } while (FindNextFileW(h, &data));
    FindClose(h);
}

} // namespace

std::vector<FileEntry> listFiles(const std::string& dir, const std::string& suffix) {
    std::vector<FileEntry> out;
    std::wstring wsuffix = toWide(suffix);
    forEachEntry(dir, L"*" + wsuffix, [&](const std::wstring& name, const WIN32_FIND_DATAW& d) {
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return;
        // The system's matching also tries the short 8.3 names, so "*.htm" would find "a.html".
        if (!endsWithNoCase(name, wsuffix)) return;
        uint64_t t =
            (uint64_t(d.ftLastWriteTime.dwHighDateTime) << 32) | d.ftLastWriteTime.dwLowDateTime;
        out.push_back({joinPath(dir, toUtf8(name)), t});
    });
    return out;
}

std::vector<std::string> listSubfolders(const std::string& dir) {
    std::vector<std::string> out;
    forEachEntry(dir, L"*", [&](const std::wstring& name, const WIN32_FIND_DATAW& d) {
        // Junctions and folder links are reparse points: leaving them out keeps a walk finite.
        if ((d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            out.push_back(joinPath(dir, toUtf8(name)));
    });
    return out;
}

uint64_t freeSpace(const std::string& path) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(toWide(path).c_str(), &available, nullptr, nullptr)) return 0;
    return available.QuadPart;
}

// --- files and folders -------------------------------------------------------------------------

bool isDirectory(const std::string& path) {
    DWORD a = GetFileAttributesW(toWide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool makeDirs(const std::string& path) {
    if (path.empty()) return false;
    if (isDirectory(path)) return true;
    std::string parent = parentDir(path);
    if (parent != path && parent != "." && !isDirectory(parent)) makeDirs(parent);
    return CreateDirectoryW(toWide(path).c_str(), nullptr) ||
           (GetLastError() == ERROR_ALREADY_EXISTS && isDirectory(path));
}

bool removePath(const std::string& path) {
    std::wstring w = toWide(path);
    if (isDirectory(path)) return RemoveDirectoryW(w.c_str());
    return DeleteFileW(w.c_str());
}

bool hardLink(const std::string& existing, const std::string& link) {
    return CreateHardLinkW(toWide(link).c_str(), toWide(existing).c_str(), nullptr);
}

FILE* openFile(const std::string& path, const char* mode) {
    return _wfopen(toWide(path).c_str(), toWide(mode).c_str());
}

bool fileInfo(const std::string& path, uint64_t& size, uint64_t& lastWrite) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(toWide(path).c_str(), GetFileExInfoStandard, &d)) return false;
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    size = (uint64_t(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    lastWrite =
        (uint64_t(d.ftLastWriteTime.dwHighDateTime) << 32) | d.ftLastWriteTime.dwLowDateTime;
    return true;
}

bool makeExecutable(const std::string& path) {
    return pathExists(path);
}

bool seekFile(FILE* f, uint64_t offset) {
    return offset <= uint64_t(INT64_MAX) && _fseeki64(f, int64_t(offset), SEEK_SET) == 0;
}

// --- durable writes ----------------------------------------------------------------------------

bool flushToDisk(FILE* f) {
    if (fflush(f) != 0) return false;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    return h != INVALID_HANDLE_VALUE && FlushFileBuffers(h);
}

bool replaceFile(const std::string& from, const std::string& to) {
    // Write-through: the call returns once the move is on the disk, as the POSIX side's fsync of
    // the folder does.
    return MoveFileExW(toWide(from).c_str(), toWide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

} // namespace plat

bool pathExists(const std::string& path) {
    return GetFileAttributesW(plat::win::toWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}
