// Sections: text helpers · image files · ISO 9660 volume · identification
#include "disc.h"

#include "sha1.h"

#include "plat/fs.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

namespace {

// SHA-1 over the 2048-byte user data of every sector of the image, so an .iso and the .bin/.cue
// of the same disc hash alike.
const std::map<std::string, std::string> kKnownGood = {
    {"7bed3f9929b32b53cbe58cc1109601223ef24f30", "USA 1.00, compact image"},
    {"31385b4590208a637f1890395f9fef353860f454", "USA 1.00, full image"},
};
const char* const kEuropeanSerials[] = {"SQME_502.13"};
const unsigned kRawSector = 2352;
const unsigned char kSync[12] = {0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0};

// --- text helpers ------------------------------------------------------------------------------

bool isBlank(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r') || (c >= 0x1c && c <= 0x1f);
}

std::string strip(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && isBlank(s[a]))
        ++a;
    while (b > a && isBlank(s[b - 1]))
        --b;
    return s.substr(a, b - a);
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

// Bytes read as ASCII: anything above 127 becomes the replacement character.
std::string ascii(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes)
        out += c < 128 ? std::string(1, char(c)) : std::string("\xEF\xBF\xBD");
    return out;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(cur);
            cur.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    return lines;
}

// "WORD<blanks>rest", the word compared without regard to case; rest without its blanks.
bool keyword(const std::string& line, const char* word, std::string& rest) {
    size_t n = std::strlen(word);
    if (line.size() <= n || upper(line.substr(0, n)) != word || !isBlank(line[n])) return false;
    rest = strip(line.substr(n));
    return true;
}

std::string firstWord(const std::string& s) {
    size_t n = 0;
    while (n < s.size() && !isBlank(s[n]))
        ++n;
    return s.substr(0, n);
}

uint32_t le32(const std::string& d, size_t at) {
    return uint32_t((unsigned char)d[at]) | uint32_t((unsigned char)d[at + 1]) << 8 |
           uint32_t((unsigned char)d[at + 2]) << 16 | uint32_t((unsigned char)d[at + 3]) << 24;
}

std::string number(uint64_t v) {
    return std::to_string(v);
}

} // namespace

// --- image files -------------------------------------------------------------------------------

DiscImage::~DiscImage() {
    if (file_) std::fclose(file_);
}

bool DiscImage::open(const std::string& path, std::string& reason) {
    path_ = dataPath_ = path;
    if (!pathExists(path)) {
        reason = "the disc image " + path + " does not exist";
        return false;
    }
    if (plat::isDirectory(path)) {
        reason = path + " is a folder, not an ISO9660 disc image";
        return false;
    }
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".cue") == 0) {
        if (!fromCue(reason)) return false;
    }
    file_ = plat::openFile(dataPath_, "rb");
    uint64_t written = 0;
    if (!file_ || !plat::fileInfo(dataPath_, size_, written)) {
        reason = "the disc image " + path + " could not be read: " + std::strerror(errno);
        return false;
    }
    if (dataPath_ == path) {
        unsigned char head[16];
        if (std::fread(head, 1, 16, file_) == 16 && std::memcmp(head, kSync, 12) == 0 &&
            (head[15] == 1 || head[15] == 2)) {
            sectorSize_ = kRawSector;
            userOffset_ = head[15] == 1 ? 16 : 24;
            kind_ = "raw MODE" + number(head[15]) + "/2352 sectors";
        }
    }
    sectors_ = size_ / sectorSize_;
    return true;
}

bool DiscImage::fromCue(std::string& reason) {
    FILE* f = plat::openFile(path_, "rb");
    if (!f) {
        reason = "the disc image " + path_ + " could not be read: " + std::strerror(errno);
        return false;
    }
    std::string text(65536, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), f));
    std::fclose(f);
    std::string name, mode, rest;
    bool haveName = false;
    for (const std::string& line : splitLines(text)) {
        std::string words = strip(line);
        if (!haveName && keyword(words, "FILE", rest)) {
            size_t end = rest[0] == '"' ? rest.find('"', 1) : std::string::npos;
            // A quoted name, or else the first word (an unclosed quote then belongs to it).
            name = end != std::string::npos && end > 1 ? rest.substr(1, end - 1) : firstWord(rest);
            haveName = true;
        }
        if (mode.empty() && keyword(words, "TRACK", rest)) {
            size_t digits = 0;
            while (digits < rest.size() && std::isdigit((unsigned char)rest[digits]))
                ++digits;
            if (digits > 0 && digits < rest.size() && isBlank(rest[digits]))
                mode = upper(firstWord(strip(rest.substr(digits))));
        }
    }
    if (!haveName || mode.empty()) {
        reason = "the cue sheet " + path_ + " names no track file: not an ISO9660 disc image";
        return false;
    }
    if (mode == "MODE1/2352" || mode == "MODE2/2352") {
        sectorSize_ = kRawSector;
        userOffset_ = mode[4] == '1' ? 16 : 24;
    } else if (mode != "MODE1/2048") {
        reason = "the cue sheet " + path_ + " starts with a " + mode +
                 " track: not an ISO9660 disc image";
        return false;
    }
    dataPath_ = plat::joinPath(plat::parentDir(plat::absolutePath(path_)), name);
    uint64_t size = 0, written = 0;
    if (!plat::fileInfo(dataPath_, size, written)) {
        reason = "the track file " + dataPath_ + " named by " + path_ + " does not exist";
        return false;
    }
    kind_ = "cue sheet, " + mode + " track in " + plat::fileName(dataPath_);
    return true;
}

bool DiscImage::read(uint64_t lba, uint64_t count, std::string& out, std::string& reason) {
    if (lba + count > sectors_) {
        reason =
            path_ + " is cut short: sector " + number(lba + count - 1) + " lies beyond its end";
        return false;
    }
    std::string raw(count * sectorSize_, '\0');
    if (!plat::seekFile(file_, lba * sectorSize_) ||
        std::fread(raw.data(), 1, raw.size(), file_) != raw.size()) {
        reason = "the disc image " + path_ + " could not be read: " + std::strerror(errno);
        return false;
    }
    if (sectorSize_ == kSector) {
        out = std::move(raw);
        return true;
    }
    out.clear();
    for (uint64_t i = 0; i < count; ++i)
        out.append(raw, i * sectorSize_ + userOffset_, kSector);
    return true;
}

bool DiscImage::userData(const std::function<void(const std::string&)>& fn, std::string& reason) {
    const uint64_t chunk = 512;
    if (sectorSize_ == kSector) {
        // The whole file, a last partial sector included, as the hash of an .iso always was.
        std::string buf(chunk * kSector, '\0');
        if (!plat::seekFile(file_, 0)) return false;
        size_t got;
        while ((got = std::fread(buf.data(), 1, buf.size(), file_)) > 0)
            fn(buf.substr(0, got));
        if (std::ferror(file_)) {
            reason = "the disc image " + path_ + " could not be read: " + std::strerror(errno);
            return false;
        }
        return true;
    }
    std::string data;
    for (uint64_t lba = 0; lba < sectors_; lba += chunk) {
        if (!read(lba, std::min(chunk, sectors_ - lba), data, reason)) return false;
        fn(data);
    }
    return true;
}

// --- ISO 9660 volume ---------------------------------------------------------------------------

namespace {

struct Record {
    unsigned length = 0;
    std::string ident;
    uint32_t lba = 0, size = 0;
    bool isDir = false;
};

bool record(const std::string& d, size_t pos, Record& r) {
    if (pos + 33 > d.size()) return false;
    r.length = (unsigned char)d[pos];
    r.lba = le32(d, pos + 2);
    r.size = le32(d, pos + 10);
    r.isDir = ((unsigned char)d[pos + 25] & 2) != 0;
    size_t n = (unsigned char)d[pos + 32];
    r.ident = d.substr(pos + 33, std::min(n, d.size() - (pos + 33)));
    return true;
}

struct Volume {
    std::string id, system;
    uint32_t rootLba = 0, rootSize = 0;
};

bool readVolume(DiscImage& img, Volume& v, std::string& reason) {
    std::string where = plat::fileName(img.path());
    std::string vd;
    for (uint64_t lba = 16; lba < std::min<uint64_t>(img.sectors(), 48); ++lba) {
        if (!img.read(lba, 1, vd, reason)) return false;
        if (vd.compare(1, 5, "CD001") != 0 || (unsigned char)vd[0] == 255) break;
        if (vd[0] != 1) continue;
        if (((unsigned char)vd[128] | (unsigned char)vd[129] << 8) != kSector) {
            reason = where + " has a logical block size other than 2048: not an ISO9660 disc image "
                             "this build can read";
            return false;
        }
        Record root;
        record(vd, 156, root);
        v.id = strip(ascii(vd.substr(40, 32)));
        v.system = strip(ascii(vd.substr(8, 32)));
        v.rootLba = root.lba;
        v.rootSize = root.size;
        return true;
    }
    reason = where + " is not an ISO9660 disc image (no CD001 primary volume descriptor from "
                     "sector 16 on)";
    return false;
}

struct Entry {
    std::string name;
    uint32_t lba = 0, size = 0;
    bool isDir = false;
    bool operator<(const Entry& o) const {
        return std::tie(name, lba, size, isDir) < std::tie(o.name, o.lba, o.size, o.isDir);
    }
};

bool listDir(DiscImage& img, uint32_t lba, uint32_t size, std::vector<Entry>& out,
             std::string& reason) {
    std::string data;
    if (!img.read(lba, (uint64_t(size) + kSector - 1) / kSector, data, reason)) return false;
    std::string damaged = img.path() + " has a damaged directory at sector " + number(lba);
    size_t pos = 0, end = std::min<size_t>(size, data.size());
    while (pos < end) {
        if (data[pos] == 0) { // records never cross a sector boundary; the rest is padding
            pos = (pos / kSector + 1) * kSector;
            continue;
        }
        Record r;
        if (!record(data, pos, r) || r.length < 34 || pos + r.length > data.size()) {
            reason = damaged;
            return false;
        }
        pos += r.length;
        if (r.ident == std::string(1, '\0') || r.ident == std::string(1, '\1')) continue;
        std::string name = ascii(r.ident);
        name = name.substr(0, name.find(';'));
        if (!r.isDir && !name.empty() && name.back() == '.') name.pop_back();
        if (name.empty() || name == "." || name == ".." ||
            name.find_first_of("/\\") != std::string::npos) {
            reason = img.path() + " has a file with an unusable name at sector " + number(lba);
            return false;
        }
        out.push_back({name, r.lba, r.size, r.isDir});
    }
    return true;
}

bool walk(DiscImage& img, const Volume& v, std::vector<DiscFile>& files, std::string& reason) {
    struct Pending {
        std::string prefix;
        uint32_t lba, size;
    };
    std::vector<Pending> pending = {{"", v.rootLba, v.rootSize}};
    std::set<uint32_t> seen;
    for (size_t next = 0; next < pending.size(); ++next) {
        Pending p = pending[next];
        if (seen.count(p.lba) || seen.size() > 4096) {
            reason = img.path() + " has a directory loop at sector " + number(p.lba);
            return false;
        }
        seen.insert(p.lba);
        std::vector<Entry> entries;
        if (!listDir(img, p.lba, p.size, entries, reason)) return false;
        std::sort(entries.begin(), entries.end());
        for (const Entry& e : entries) {
            if (e.isDir)
                pending.push_back({p.prefix + e.name + "/", e.lba, e.size});
            else
                files.push_back({p.prefix + e.name, e.lba, e.size});
        }
    }
    return true;
}

} // namespace

bool walkDiscFiles(DiscImage& img, std::string& volume, std::vector<DiscFile>& files,
                   std::string& reason) {
    Volume v;
    if (!readVolume(img, v, reason)) return false;
    volume = v.id;
    return walk(img, v, files, reason);
}

bool readDiscFile(DiscImage& img, const DiscFile& f, std::string& out, std::string& reason) {
    if (!img.read(f.lba, (uint64_t(f.size) + kSector - 1) / kSector, out, reason)) return false;
    out.resize(f.size);
    return true;
}

// --- identification ----------------------------------------------------------------------------

namespace {

struct Boot {
    std::string serial, key, value;
};

// What SYSTEM.CNF boots: "SQMU_404.20" from a BOOT2 line such as "cdrom0:\SQMU_404.20;1", or
// from a PS1 disc's BOOT line.
bool bootSerial(const std::string& cnf, Boot& b) {
    for (const char* key : {"BOOT2", "BOOT"}) {
        for (const std::string& line : splitLines(cnf)) {
            size_t eq = line.find('=');
            std::string name = eq == std::string::npos ? line : line.substr(0, eq);
            std::string value = eq == std::string::npos ? "" : strip(line.substr(eq + 1));
            if (upper(strip(name)) != key || value.empty()) continue;
            size_t colon = value.find(':');
            std::string program = colon == std::string::npos ? value : value.substr(colon + 1);
            program.erase(0, program.find_first_not_of("\\/"));
            b = {upper(strip(program.substr(0, program.find(';')))), key, value};
            return true;
        }
    }
    return false;
}

std::string videoMode(const std::string& cnf) {
    for (size_t at = cnf.find("VMODE"); at != std::string::npos; at = cnf.find("VMODE", at + 1)) {
        size_t i = at + 5;
        while (i < cnf.size() && isBlank(cnf[i]))
            ++i;
        if (i >= cnf.size() || cnf[i] != '=') continue;
        ++i;
        while (i < cnf.size() && isBlank(cnf[i]))
            ++i;
        size_t start = i;
        while (i < cnf.size() && (std::isalnum((unsigned char)cnf[i]) || cnf[i] == '_'))
            ++i;
        if (i > start) return cnf.substr(start, i - start);
    }
    return "NTSC";
}

bool identifyOpen(DiscImage& img, const std::string& path,
                  const std::function<void(const std::string&)>& note,
                  const std::function<void(double)>& progress, DiscInfo& info,
                  std::string& reason) {
    note("opened " + path + " (" + img.kind() + ", " + number(img.sectors()) + " sectors)");
    if (img.sectors() < 17) {
        reason = plat::fileName(path) + " is not an ISO9660 disc image (only " +
                 number(img.size()) + " bytes)";
        return false;
    }
    Volume v;
    if (!readVolume(img, v, reason)) return false;
    note("volume " + (v.id.empty() ? "(none)" : v.id) + ", system " +
         (v.system.empty() ? "(none)" : v.system));
    std::vector<Entry> root;
    if (!listDir(img, v.rootLba, v.rootSize, root, reason)) return false;
    const Entry* cnfEntry = nullptr;
    for (const Entry& e : root)
        if (!e.isDir && upper(e.name) == "SYSTEM.CNF") cnfEntry = &e; // the last one wins
    if (!cnfEntry) {
        reason = "the disc has no SYSTEM.CNF in its root folder, so it is no PS2 game disc "
                 "(volume " +
                 (v.id.empty() ? std::string("without a name") : v.id) + ")";
        return false;
    }
    std::string cnf;
    if (!readDiscFile(img, {"SYSTEM.CNF", cnfEntry->lba, cnfEntry->size}, cnf, reason))
        return false;
    cnf = ascii(cnf);
    Boot boot;
    if (!bootSerial(cnf, boot)) {
        reason = "the disc's SYSTEM.CNF names no program to start: not a PS2 game disc";
        return false;
    }
    std::string vmode = videoMode(cnf);
    note("boot file " + boot.serial + " (" + boot.key + " = " + boot.value + "), video mode " +
         vmode);
    if (boot.key == "BOOT") {
        reason = "the disc boots " + boot.serial + ", a PlayStation 1 program: another game";
        return false;
    }
    for (const char* european : kEuropeanSerials) {
        if (boot.serial == european) {
            reason = boot.serial + " is the European (PAL) disc of Quillmere; only the USA disc " +
                     kUsaSerial + " is supported";
            return false;
        }
    }
    if (boot.serial != kUsaSerial) {
        reason = "the disc boots " + boot.serial + ", another game (Quillmere's USA disc is " +
                 kUsaSerial + ")";
        return false;
    }
    Sha1 h;
    uint64_t done = 0, total = std::max<uint64_t>(1, img.userBytes());
    if (!img.userData(
            [&](const std::string& block) {
                h.update(block.data(), block.size());
                done += block.size();
                progress(double(done) / double(total));
            },
            reason))
        return false;
    std::string sha1 = h.hex();
    note("SHA-1 " + sha1 + " over " + number(img.userBytes() / kSector) + " sectors of user data");
    auto known = kKnownGood.find(sha1);
    if (known == kKnownGood.end()) {
        reason = std::string("the USA disc ") + kUsaSerial + " has SHA-1 " + sha1 +
                 ", which matches no known good copy: the image is modified or damaged";
        return false;
    }
    info = {boot.serial, v.id, sha1, known->second, vmode, img.userBytes(), img.plain()};
    return true;
}

} // namespace

bool identifyDisc(const std::string& path, const std::function<void(const std::string&)>& note,
                  const std::function<void(double)>& progress, DiscInfo& info,
                  std::string& reason) {
    DiscImage img;
    if (!img.open(path, reason)) return false;
    return identifyOpen(img, path, note, progress, info, reason);
}
