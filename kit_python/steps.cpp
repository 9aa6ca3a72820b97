// The steps but compile: verify, extract, configure, tools, recompile, packs and stage. Their
// inner work is simpler than the release script's (the recompiler is not run), but they read
// the real disc, and stage assembles the same game folder.
//
// Sections: verify · extract · configure · tools · recompile · packs · stage · the table
#include "build.h"
#include "disc.h"
#include "sha1.h"

#include "plat/fs.h"
#include "plat/process.h"
#include "selftest/png.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

using Refs = std::vector<std::string>;

bool readOut(const Build& b, const std::string& rel, std::string& text, std::string& reason) {
    if (readFile(below(b.out, rel), text)) return true;
    reason = format("%s (%s)", std::strerror(errno ? errno : ENOENT), below(b.out, rel).c_str());
    return false;
}

// The lines of text that start with word and a blank, without them.
std::vector<std::string> linesOf(const std::string& text, const std::string& word) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (text.compare(at, word.size() + 1, word + " ") == 0)
            out.push_back(text.substr(at + word.size() + 1, end - at - word.size() - 1));
        at = end + 1;
    }
    return out;
}

Refs refsUnder(const Build& b, const std::string& folder) {
    Refs refs;
    for (const std::string& rel : filesUnder(below(b.out, folder)))
        refs.push_back("out:" + folder + "/" + rel);
    return refs;
}

// --- verify ------------------------------------------------------------------------------------

// The build folder holds the extracted files, converted textures and objects (about twice the
// disc); the game folder needs a copy of the disc. QM_BUILD_NEED_FREE replaces both needs.
bool checkFreeSpace(const Build& b, const DiscInfo& info, StepLog& log, std::string& reason) {
    struct Need {
        std::string folder;
        double bytes;
    } needs[] = {{b.out, 2.0 * double(info.userBytes) + (64 << 20)},
                 {b.game, double(info.userBytes) + (16 << 20)}};
    for (Need& n : needs) {
        std::string at = plat::absolutePath(n.folder);
        while (!pathExists(at) && plat::parentDir(at) != at)
            at = plat::parentDir(at);
        if (!envText("QM_BUILD_NEED_FREE").empty())
            n.bytes = envNumber("QM_BUILD_NEED_FREE", n.bytes);
        uint64_t free = plat::freeSpace(at);
        log(format("free space in %s: %s needed, %s free", at.c_str(), megabytes(n.bytes).c_str(),
                   megabytes(double(free)).c_str()));
        if (free != 0 && double(free) < n.bytes) {
            reason = format("not enough free space in %s: %s needed, %s free", at.c_str(),
                            megabytes(n.bytes).c_str(), megabytes(double(free)).c_str());
            return false;
        }
    }
    return true;
}

bool verify(Build& b, Pacer& pace, StepLog& log, Refs& refs, std::string& reason) {
    log("disc image: " + b.disc);
    DiscInfo info;
    if (!identifyDisc(
            b.disc, [&](const std::string& t) { log(t); }, [&](double f) { pace.reach(0.85 * f); },
            info, reason))
        return false;
    log(format("USA disc %s, SHA-1 %s (%s)", info.serial.c_str(), info.sha1.c_str(),
               info.label.c_str()));
    emit(format("INFO disc %s, SHA-1 matches a known good copy (%s)", info.serial.c_str(),
                info.label.c_str()));
    if (!checkFreeSpace(b, info, log, reason)) return false;
    pace.reach(1.0);
    refs = {"out:disc.txt"};
    return writeFile(below(b.out, "disc.txt"),
                     format("serial %s\nvolume %s\nsha1 %s\nvideo_mode %s\nuser_bytes %llu\n",
                            info.serial.c_str(), info.volume.c_str(), info.sha1.c_str(),
                            info.videoMode.c_str(), (unsigned long long)info.userBytes),
                     reason);
}

// --- extract -----------------------------------------------------------------------------------

bool extract(Build& b, Pacer& pace, StepLog& log, Refs& refs, std::string& reason) {
    std::string dest = below(b.out, "extract");
    if (!freshDir(dest, reason)) return false;
    DiscImage img;
    std::string volume;
    std::vector<DiscFile> files;
    if (!img.open(b.disc, reason) || !walkDiscFiles(img, volume, files, reason)) return false;
    double total = 0, done = 0;
    for (const DiscFile& f : files)
        total += f.size;
    log(format("volume %s: %zu files, %s", volume.c_str(), files.size(), megabytes(total).c_str()));
    std::string data;
    for (const DiscFile& f : files) {
        if (!readDiscFile(img, f, data, reason) || !writeFile(below(dest, f.rel), data, reason))
            return false;
        done += f.size;
        pace.reach(done / std::max(1.0, total));
        log(format("%-32s %10u bytes at sector %u", f.rel.c_str(), f.size, f.lba));
        refs.push_back("out:extract/" + f.rel);
    }
    emit(format("INFO extracted %zu files, %s", files.size(), megabytes(total).c_str()));
    return true;
}

// --- configure ---------------------------------------------------------------------------------

std::string classify(const std::string& data) {
    if (data.compare(0, 4,
                     "\x7f"
                     "ELF") == 0)
        return "program";
    if (data.compare(0, 4, "TEX0") == 0) return "texture";
    return "data";
}

bool configure(Build& b, Pacer& pace, StepLog& log, Refs& refs, std::string& reason) {
    std::string disc;
    if (!readOut(b, "disc.txt", disc, reason)) return false;
    std::vector<std::string> files = filesUnder(below(b.out, "extract"));
    std::string boot = iniValue(disc, "serial"), bootKind, table, textures;
    for (size_t i = 0; i < files.size(); ++i) {
        std::string data;
        if (!readOut(b, "extract/" + files[i], data, reason)) return false;
        std::string kind = classify(data), sha1 = sha1Hex(data);
        table += format("file %s %zu %s %s\n", kind.c_str(), data.size(), sha1.c_str(),
                        files[i].c_str());
        if (kind == "texture") textures += "texture " + files[i] + "\n";
        if (files[i] == boot) bootKind = kind;
        log(format("-- %-32s %-8s %s", files[i].c_str(), kind.c_str(), sha1.c_str()));
        pace.reach(0.9 * double(i + 1) / double(std::max<size_t>(1, files.size())));
    }
    if (bootKind != "program") {
        reason = "the disc's boot program " + boot + " is missing or is no ELF program";
        return false;
    }
    log(format("-- boot program %s, %zu textures, 2 compile workers", boot.c_str(),
               linesOf(textures, "texture").size()));
    refs = {"out:config.txt"};
    std::string config = "boot " + boot + "\nvideo_mode " + iniValue(disc, "video_mode") +
                         "\nworkers 2\n" + table + textures;
    if (!writeFile(below(b.out, "config.txt"), config, reason)) return false;
    pace.reach(1.0);
    return true;
}

// --- tools -------------------------------------------------------------------------------------

bool tools(Build& b, Pacer& pace, StepLog& log, Refs& refs, std::string& reason) {
    std::string dest = below(b.out, "tools");
    if (!freshDir(dest, reason)) return false;
    pace.reach(0.3);
    log("recompiler: the kit stand-in " + codeFingerprint());
    if (!writeFile(below(dest, "manifest.txt"), "stand-in " + codeFingerprint() + "\n", reason))
        return false;
    pace.reach(1.0);
    refs = refsUnder(b, "tools");
    return true;
}

// --- recompile ---------------------------------------------------------------------------------

// The boot program's bytes after its ELF header, as listings of 32-bit words in up to eight
// units, which the compile workers turn into objects.
bool recompile(Build& b, Pacer& pace, StepLog& log, Refs& refs, std::string& reason) {
    std::string config, program;
    if (!readOut(b, "config.txt", config, reason)) return false;
    std::string boot = iniValue(config, "boot");
    if (!readOut(b, "extract/" + boot, program, reason)) return false;
    if (program.size() < 52 || classify(program) != "program") {
        reason = boot + " cannot be read: no ELF program";
        return false;
    }
    std::string dest = below(b.out, "recomp");
    if (!freshDir(dest, reason)) return false;
    size_t words = (program.size() - 52) / 4,
           units = std::min<size_t>(8, std::max<size_t>(1, words));
    size_t per = (words + units - 1) / units;
    std::string list;
    for (size_t u = 0; u < units; ++u) {
        std::string name = format("unit_%03zu", u);
        std::string text = format("/* %s.c: recompiled from %s */\n", name.c_str(), boot.c_str());
        for (size_t w = u * per; w < std::min(words, (u + 1) * per); ++w) {
            const unsigned char* p = (const unsigned char*)program.data() + 52 + 4 * w;
            text += format("    WORD(0x%02x%02x%02x%02x);\n", p[3], p[2], p[1], p[0]);
        }
        if (!writeFile(below(dest, name + ".c"), text, reason)) return false;
        list += "unit " + name + "\n";
        log(format("%s.c: %zu words", name.c_str(), std::min(words, (u + 1) * per) - u * per));
        pace.reach(0.95 * double(u + 1) / double(units));
    }
    if (!writeFile(below(dest, "units.txt"), list, reason)) return false;
    pace.reach(1.0);
    refs = refsUnder(b, "recomp");
    return true;
}

// --- packs -------------------------------------------------------------------------------------

uint32_t le(const std::string& d, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | (unsigned char)d[at + i];
    return v;
}

bool packs(Build& b, Pacer& pace, StepLog& log, Refs& refs, std::string& reason) {
    std::string config;
    if (!readOut(b, "config.txt", config, reason)) return false;
    std::string dest = below(b.out, "packs");
    if (!freshDir(dest, reason)) return false;
    std::vector<std::string> textures = linesOf(config, "texture");
    std::string index;
    for (size_t i = 0; i < textures.size(); ++i) {
        const std::string& rel = textures[i];
        std::string data;
        if (!readOut(b, "extract/" + rel, data, reason)) return false;
        uint32_t width = data.size() >= 16 ? le(data, 4, 2) : 0;
        uint32_t height = data.size() >= 16 ? le(data, 6, 2) : 0;
        uint32_t fmt = data.size() >= 16 ? le(data, 8, 4) : 0;
        uint32_t size = data.size() >= 16 ? le(data, 12, 4) : 0;
        if (fmt != 1 || uint64_t(size) != uint64_t(width) * height * 4 ||
            data.size() < 16 + uint64_t(size) || width == 0) {
            reason = format("texture %s is damaged (format %u, %ux%u, %zu bytes)", rel.c_str(), fmt,
                            width, height, data.size());
            return false;
        }
        std::string png = rel.substr(0, rel.rfind('.')) + ".png";
        plat::makeDirs(plat::parentDir(below(dest, png)));
        if (!writePng(below(dest, png), (const unsigned char*)data.data() + 16, width, height,
                      true)) {
            reason = "the texture " + png + " cannot be written";
            return false;
        }
        index += format("%s %ux%u %s\n", rel.c_str(), width, height, png.c_str());
        log(format("%-28s %4ux%-4u -> %s", rel.c_str(), width, height, png.c_str()));
        pace.reach(double(i + 1) / double(std::max<size_t>(1, textures.size())));
    }
    if (!writeFile(below(dest, "index.txt"), index, reason)) return false;
    emit(format("INFO converted %zu textures", textures.size()));
    pace.reach(1.0);
    refs = refsUnder(b, "packs");
    return true;
}

// --- stage -------------------------------------------------------------------------------------

// After a link that could not take the name disc.iso, the part is a second name of the user's
// image: writing into it would empty the image itself. False when it cannot be removed.
bool removePart(const std::string& part, std::string& reason) {
    plat::removePath(part);
    if (!pathExists(part)) return true;
    reason = "the unfinished " + part + " cannot be removed";
    return false;
}

// disc.iso: a hard link to a plain image when the system allows, else its user data written out.
bool stageDisc(Build& b, const std::string& target, Pacer& pace, StepLog& log,
               std::string& reason) {
    bool plain = false;
    {
        // Windows cannot rename a second name of a file that is open, so the image is closed
        // while it is linked.
        DiscImage img;
        if (!img.open(b.disc, reason)) return false;
        plain = img.plain();
    }
    std::string part = target + ".part";
    if (!removePart(part, reason)) return false;
    if (plain && plat::hardLink(b.disc, part)) {
        if (plat::replaceFile(part, target)) {
            // Renaming one link onto another of the same file leaves both names in place.
            plat::removePath(part);
            log("disc.iso: hard link to " + b.disc);
            return true;
        }
        log("no hard link possible, copying the image");
        if (!removePart(part, reason)) return false;
    }
    DiscImage img;
    if (!img.open(b.disc, reason)) return false;
    FILE* f = plat::openFile(part, "wb");
    if (!f) {
        reason = format("%s (%s)", std::strerror(errno), part.c_str());
        return false;
    }
    double total = std::max<double>(1, double(img.userBytes())), done = 0;
    bool wrote = true;
    bool read = img.userData(
        [&](const std::string& block) {
            wrote = wrote && std::fwrite(block.data(), 1, block.size(), f) == block.size();
            done += double(block.size());
            pace.reach(0.2 + 0.7 * done / total);
        },
        reason);
    bool closed = std::fclose(f) == 0;
    bool ok = read && wrote && closed && plat::replaceFile(part, target);
    if (!ok) {
        if (reason.empty()) reason = "disc.iso cannot be written: " + plat::lastErrorText();
        plat::removePath(part);
        return false;
    }
    log(format("disc.iso: %s of user data written from %s", megabytes(total).c_str(),
               img.kind().c_str()));
    return true;
}

bool stage(Build& b, Pacer& pace, StepLog& log, Refs& refs, std::string& reason) {
    if (!pathExists(b.program) || plat::isDirectory(b.program)) {
        reason = "the game program " + b.program + " is missing from the release";
        return false;
    }
    std::string name = plat::fileName(b.program);
    std::string config;
    if (!plat::makeDirs(b.game) || !readOut(b, "config.txt", config, reason)) {
        if (reason.empty()) reason = "the game folder " + b.game + " cannot be made";
        return false;
    }
    std::string target = plat::joinPath(b.game, name);
    if (!copyFile(b.program, target, reason) || !plat::makeExecutable(target)) {
        if (reason.empty()) reason = "the game program cannot be made executable: " + target;
        return false;
    }
    log(name + " from " + b.program);
    std::string boot = iniValue(config, "boot");
    if (!copyFile(below(b.out, "extract/" + boot), plat::joinPath(b.game, kUsaSerial), reason))
        return false;
    log(std::string(kUsaSerial) + " from the disc");
    pace.reach(0.2);
    if (!stageDisc(b, plat::joinPath(b.game, "disc.iso"), pace, log, reason)) return false;
    pace.reach(1.0);
    refs = {"game:" + name, std::string("game:") + kUsaSerial, "game:disc.iso"};
    return true;
}

} // namespace

// --- the table ---------------------------------------------------------------------------------

StepFn stepFunction(const std::string& step) {
    static const std::map<std::string, StepFn> kSteps = {
        {"verify", verify},       {"extract", extract}, {"configure", configure}, {"tools", tools},
        {"recompile", recompile}, {"packs", packs},     {"compile", stepCompile}, {"stage", stage}};
    auto it = kSteps.find(step);
    return it == kSteps.end() ? nullptr : it->second;
}
