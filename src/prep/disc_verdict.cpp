// The disc check: the build script's check mode, and its verdict turned into the user's message.
#include "prep/disc_verdict.h"

#include "app/app.h"
#include "plat/fs.h"
#include "ui/lang.h"

#include <cstring>
#include <utility>

void App::startDiscCheck(const std::string& path) {
    if (checkingDisc) return;
    // The accepted disc is remembered as a full path, so it still names the image after the
    // launcher was started from another folder.
    std::string full = plat::absolutePath(path);
    std::vector<std::string> a = scriptArgs();
    a.insert(a.end(), {"--check", "--disc", full});
    discMessage.clear();
    discDetail.clear();
    std::string err;
    if (discCheck.start(pythonExe, a, sourceDir, true, err)) {
        checkingDisc = true;
        discUnderCheck = full;
    } else {
        discMessage =
            ui::tr("The disc could not be checked.", "Le disque n'a pas pu être vérifié.");
        discDetail = err;
    }
}

namespace {

struct Refusal {
    const char* keyword;
    const char* en;
    const char* fr;
};

// Searched in this order; the first keyword found in the script's reason decides.
const Refusal kRefusals[] = {
    {"European", "This is the European disc. Only the USA disc (SQMU-40420) is supported.",
     "C'est le disque européen. Seul le disque américain (SQMU-40420) est pris en charge."},
    {"boots", "This disc image is another game.", "Cette image disque est un autre jeu."},
    {"SHA-1",
     "This copy differs from the USA disc: modified or damaged. Make a fresh copy of your disc.",
     "Cette copie diffère du disque américain : modifiée ou abîmée. Refaites une copie de votre "
     "disque."},
    {"does not exist", "This file is no longer there.", "Ce fichier n'existe plus."},
};

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

void eraseAll(std::string& text, const std::string& piece) {
    if (piece.empty()) return;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at))
        text.erase(at, piece.size());
}

} // namespace

std::string reasonWithoutPath(const std::string& reason, const std::string& path) {
    const size_t sep = path.find_last_of("/\\");
    std::string folder = sep == std::string::npos ? std::string() : path.substr(0, sep);
    std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
    // Longest first: a shorter piece taken out first could cut a longer one's quotation apart
    // and leave a part of it, keywords and all, behind.
    std::string pieces[] = {path, std::move(folder), std::move(name)};
    if (pieces[1].size() < pieces[2].size()) std::swap(pieces[1], pieces[2]);
    std::string text = reason;
    for (const std::string& piece : pieces)
        eraseAll(text, piece);
    return text;
}

std::string discRefusalMessage(const std::string& reason, const std::string& path) {
    const std::string words = reasonWithoutPath(reason, path);
    for (const Refusal& r : kRefusals)
        if (words.find(r.keyword) != std::string::npos) return ui::tr(r.en, r.fr);
    return ui::tr("This file is not a PS2 disc image.",
                  "Ce fichier n'est pas une image disque PS2.");
}

DiscVerdict readDiscCheckLines(const std::vector<std::string>& lines) {
    DiscVerdict v;
    for (const std::string& line : lines) {
        if (line.size() >= 2 && startsWith(line, "OK"))
            v.okLine = line;
        else if (line.size() >= 13 && startsWith(line, "ERROR verify "))
            v.detail = line.substr(13);
        else if (v.detail.empty() && !line.empty() && !startsWith(line, "INFO"))
            v.detail = line;
    }
    return v;
}

void App::pollDiscCheck() {
    if (!checkingDisc || discCheck.running()) return;
    discCheck.waitOutput(1000);
    const DiscVerdict verdict = readDiscCheckLines(discCheck.takeLines());
    const std::string& detail = verdict.detail;
    checkingDisc = false;

    if (!verdict.okLine.empty() && discCheck.exitCode() == 0) {
        settings.disc = discUnderCheck;
        if (!checkOnly) saveLauncherSettings(settings, launcherIni);
        screen = Screen::Ready;
        tab = 0;
        statusMessage.clear();
        return;
    }
    discDetail = detail;
    discMessage = discRefusalMessage(detail, discUnderCheck);
}
