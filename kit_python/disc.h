// Disc images for the build: reading ISO 9660 volumes and telling the supported disc apart, with
// the same table of known good images and the same reasons as the release's qm_disc.py.
//
// An image is a plain .iso of 2048-byte sectors, or 2352-byte raw sectors (MODE1 or MODE2 form 1)
// named by a .cue sheet or recognised by the sync pattern of their first sector.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

inline constexpr const char* kUsaSerial = "SQMU_404.20";
inline constexpr unsigned kSector = 2048;

// The user data of an image, sector by sector, whatever the file's layout.
class DiscImage {
public:
    ~DiscImage();
    // False with a reason meant for the user (the words qm_disc.py uses).
    bool open(const std::string& path, std::string& reason);
    // count sectors of user data from lba on.
    bool read(uint64_t lba, uint64_t count, std::string& out, std::string& reason);
    // Calls fn with the whole image's user data in order, in chunks; false on a read error.
    bool userData(const std::function<void(const std::string&)>& fn, std::string& reason);
    uint64_t userBytes() const { return sectorSize_ == kSector ? size_ : sectors_ * kSector; }
    uint64_t sectors() const { return sectors_; }
    uint64_t size() const { return size_; }
    const std::string& kind() const { return kind_; }
    const std::string& path() const { return path_; }
    const std::string& dataPath() const { return dataPath_; }
    // A plain .iso: its file is the user data itself, so it can be linked instead of copied.
    bool plain() const { return sectorSize_ == kSector && dataPath_ == path_; }

private:
    bool fromCue(std::string& reason);
    std::string path_, dataPath_, kind_ = "2048-byte sectors";
    unsigned sectorSize_ = kSector, userOffset_ = 0;
    uint64_t size_ = 0, sectors_ = 0;
    FILE* file_ = nullptr;
};

struct DiscFile {
    std::string rel; // with "/"
    uint32_t lba = 0;
    uint32_t size = 0;
};

// The primary volume's files, folders before files, each folder's entries sorted by name.
bool walkDiscFiles(DiscImage& img, std::string& volume, std::vector<DiscFile>& files,
                   std::string& reason);
bool readDiscFile(DiscImage& img, const DiscFile& f, std::string& out, std::string& reason);

struct DiscInfo {
    std::string serial, volume, sha1, label, videoMode;
    uint64_t userBytes = 0;
    bool plain = false;
};

// Checks the image at path: true for the good USA disc, otherwise false with the reason.
bool identifyDisc(const std::string& path, const std::function<void(const std::string&)>& note,
                  const std::function<void(double)>& progress, DiscInfo& info, std::string& reason);
