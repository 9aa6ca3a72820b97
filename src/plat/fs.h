// Files and folders. Paths are UTF-8 everywhere; the Windows backend converts at its calls.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace plat {

#ifdef _WIN32
inline constexpr char kPathSep = '\\';
#else
inline constexpr char kPathSep = '/';
#endif

struct FileEntry {
    std::string path;   // the folder as passed, the separator, the name
    uint64_t lastWrite; // 100-ns units since 1601-01-01 UTC
};

// a + separator + b; a separator already ending a is not doubled.
std::string joinPath(const std::string& a, const std::string& b);
// Everything before the last separator ("." when there is none).
std::string parentDir(const std::string& path);
// The part after the last separator.
std::string fileName(const std::string& path);

std::string exeDir();
std::string exePath();
// The user folder: ZOLT_USER_DIR, else the per-user data folder + "ZO_Duzoru", else "user" beside
// the executable; created, and made absolute.
std::string userDir();
std::string absolutePath(const std::string& path);
// The per-user application-data folder (%APPDATA%; $XDG_DATA_HOME or ~/.local/share elsewhere);
// empty when the system names none.
std::string dataHome();

// Files (not folders) in dir whose name ends in suffix, in the order the system lists them.
std::vector<FileEntry> listFiles(const std::string& dir, const std::string& suffix);
// Folders directly inside dir (not "." and ".."), each as dir + separator + name, in the order the
// system lists them. Links to folders are left out, so a walk down the tree always ends.
std::vector<std::string> listSubfolders(const std::string& dir);
// Bytes available to this user on the volume holding path; 0 when unknown.
uint64_t freeSpace(const std::string& path);

bool isDirectory(const std::string& path);
// Creates the folder and its missing parents; true when it exists afterwards.
bool makeDirs(const std::string& path);
// Removes a file or an empty folder.
bool removePath(const std::string& path);
// Removes the folder with its files and subfolders, as far as they can be removed; true when the
// folder itself went.
bool removeTree(const std::string& path);
bool hardLink(const std::string& existing, const std::string& link);

// fopen with a UTF-8 path.
FILE* openFile(const std::string& path, const char* mode);
// Size and last write time (FileEntry's unit) of a file; false when it cannot be examined or is a
// folder.
bool fileInfo(const std::string& path, uint64_t& size, uint64_t& lastWrite);
// Lets everybody run the file as a program (POSIX); nothing to do on Windows.
bool makeExecutable(const std::string& path);
// Moves the stream's position to offset from the start; offsets beyond 2 GiB work everywhere.
bool seekFile(FILE* f, uint64_t offset);
// Flushes the stream and asks the system to put its data on the disk.
bool flushToDisk(FILE* f);
// Moves from onto to, replacing it, so that readers see either file whole; durable on return.
bool replaceFile(const std::string& from, const std::string& to);

} // namespace plat

// Something (file or folder) exists at path; a path that cannot be examined counts as absent.
bool pathExists(const std::string& path);
