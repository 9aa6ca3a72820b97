// The Play tab: the main block (prepare the game from the accepted disc, or play it), then, when
// they apply, the rebuild notice, the update block and the outcome of the game's last run.
//
// Sections: texts · main block, ready · main block, disc · rebuild notice · update block ·
// game result · the tab
#include "app/app.h"
#include "plat/fs.h"
#include "ui/lang.h"
#include "ui/screens.h"
#include "ui/widgets.h"

#include <imgui.h>

#include <cstdio>
#include <string>

namespace ui {

// --- texts ---------------------------------------------------------------------------------------

std::string lowSpaceWarning(uint64_t freeBytes) {
    const double gib = double(freeBytes) / double(uint64_t(1) << 30);
    if (!(gib > 0 && gib < 5.0)) return {};
    // The C library formats with the "C" locale's full stop: the launcher never switches it.
    char line[160];
    std::snprintf(line, sizeof line,
                  tr("Only %.1f GB free on this drive.", "Seulement %.1f Go libres sur ce disque."),
                  gib);
    return line;
}

namespace {

bool gameBuilt(const App& app) {
    return pathExists(app.gameExe) && pathExists(app.gameElf);
}

void drawStatusMessage(const App& app) {
    if (app.statusMessage.empty()) return;
    spacer(10);
    text(app.statusMessage.c_str(), 18, app.statusColour);
}

// --- main block, ready ---------------------------------------------------------------------------

void drawKeyCap(ImVec2 q) {
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const ImVec2 end(q.x + px(38), q.y + px(30));
    dl->AddRectFilled(q, end, withAlphaByte(kNavy, 0x6E), px(7));
    dl->AddRect(q, end, withAlpha(kAccent, 0.6f), px(7), 0, px(1));
    drawText(ImVec2(q.x + px(10), q.y + px(5)), 16, withAlphaByte(kAccent, 0xFF), "F2");
}

void drawReady(App& app) {
    const ImVec2 p = ImGui::GetCursorScreenPos();
    if (button(tr("Play##play", "Jouer##play"), ImVec2(px(300), px(84)), ButtonKind::Primary,
               !app.gameRunning, 34))
        app.launchGame();
    takeDefaultFocus();

    ImGui::SetCursorScreenPos(ImVec2(p.x + px(330), p.y + px(4)));
    ImGui::BeginGroup();
    text(tr("Ready to play", "Prêt à jouer"), 22, kSuccess);
    text(plat::fileName(app.settings.disc).c_str(), 16, kDim);
    ImGui::EndGroup();

    ImGui::SetCursorScreenPos(ImVec2(p.x, p.y + px(84)));
    spacer(14);
    const ImVec2 q = ImGui::GetCursorScreenPos();
    drawKeyCap(q);
    ImGui::SetCursorScreenPos(ImVec2(q.x + px(50), q.y + px(3)));
    text(tr("In the game, F2 opens the settings: controls, video and cheats.",
            "En jeu, F2 ouvre les réglages : commandes, vidéo et astuces."),
         18, kMuted);
    drawStatusMessage(app);
}

// --- main block, disc ----------------------------------------------------------------------------

void drawDiscIntro(const App& app, bool pending) {
    title(pending ? tr("Preparing was stopped", "La préparation a été interrompue")
                  : tr("Your disc is ready", "Votre disque est prêt"),
          kLight);
    const std::string disc =
        std::string(tr("USA disc (SQMU-40420)", "Disque américain (SQMU-40420)")) + "  ·  " +
        plat::fileName(app.settings.disc);
    text(disc.c_str(), 17, kSuccess);
    spacer(4);
    textWrapped(
        pending ? tr("It continues where it left off.", "Elle reprend là où elle s'était arrêtée.")
                : tr("The game is built once, from your disc. It takes a few minutes and "
                     "about 10 GB of free space.",
                     "Le jeu est construit une seule fois, à partir de votre disque. Cela "
                     "prend quelques minutes et environ 10 Go d'espace libre."),
        19, kLight, 0.92f);
    const std::string lowSpace = lowSpaceWarning(plat::freeSpace(app.releaseDir));
    if (!lowSpace.empty()) text(lowSpace.c_str(), 17, kWarning);
}

void drawDisc(App& app, float iw, bool pending) {
    drawDiscIntro(app, pending);
    spacer(10);
    if (!pathExists(app.settings.disc)) {
        alertBox(tr("The disc image is no longer where it was. Select it again.",
                    "L'image disque n'est plus à son emplacement. Choisissez-la à nouveau."),
                 app.settings.disc.c_str(), kWarning, iw);
        spacer(8);
        if (button(tr("Select your disc image…", "Choisir votre image disque…"), ImVec2(0, px(56)),
                   ButtonKind::Primary, true, 20))
            app.chooseDisc();
    } else {
        if (button(pending ? tr("Continue preparing", "Reprendre la préparation")
                           : tr("Prepare the game", "Préparer le jeu"),
                   ImVec2(px(300), px(64)), ButtonKind::Primary, true, 24))
            app.startBuild();
        takeDefaultFocus();
    }
    if (app.checkingDisc) text(tr("Checking the disc…", "Vérification du disque…"), 17, kMuted);
    if (!app.discMessage.empty()) {
        spacer(6);
        alertBox(app.discMessage.c_str(), app.discDetail.c_str(), kError, iw);
    }
    drawStatusMessage(app);
}

// --- rebuild notice ------------------------------------------------------------------------------

bool rebuildDue(const App& app, bool built, bool pending) {
    return !pending && built && !app.sourceCommit.empty() &&
           app.sourceCommit != app.builtFromCommit && !app.building;
}

void drawRebuildNotice(App& app, float iw) {
    spacer(12);
    std::string heading;
    if (app.sourceVersion.empty())
        heading = tr("New code is installed.", "Un nouveau code est installé.");
    else if (french)
        heading = "La version " + app.sourceVersion + " est installée.";
    else
        heading = "Version " + app.sourceVersion + " is installed.";
    alertBox(heading.c_str(),
             tr("Rebuild the game to play it: only what changed is built again. Your saves and "
                "settings are kept.",
                "Reconstruisez le jeu pour y jouer : seul ce qui a changé est refait. Vos "
                "sauvegardes et réglages sont conservés."),
             kWarning, iw);
    spacer(6);
    if (button(tr("Rebuild now", "Reconstruire maintenant"), ImVec2(0, px(48)), ButtonKind::Primary,
               !app.gameRunning, 20))
        app.startBuild();
    if (app.whatsNewText.empty()) return;
    ImGui::SameLine(0, px(12));
    if (button(tr("What's new", "Nouveautés"), ImVec2(0, px(48)), ButtonKind::Secondary, true, 20))
        app.showWhatsNew = true;
}

// --- update block --------------------------------------------------------------------------------

std::string installDetail(const App& app, unsigned long long got, unsigned long long total) {
    if (app.installState == 1) {
        char line[160];
        std::snprintf(line, sizeof line,
                      tr("Downloading: %.0f of %.0f MB.", "Téléchargement : %.0f sur %.0f Mo."),
                      double(got) / 1000000.0, double(total) / 1000000.0);
        return line;
    }
    if (app.installPhase == "verify")
        return tr("Checking the download.", "Vérification du téléchargement.");
    if (app.installPhase == "extract") return tr("Unpacking.", "Décompression.");
    if (app.installPhase == "install") return tr("Installing.", "Installation.");
    return tr("Finishing.", "Finalisation.");
}

void drawInstallProgress(App& app, float iw) {
    // One reading of the counters, so that the text and the bar agree.
    const unsigned long long got = app.installGot.load(), total = app.installTotal.load();
    spacer(12);
    const std::string heading =
        tr("Updating to version ", "Mise à jour vers la version ") + app.installVersion + "…";
    alertBox(heading.c_str(), installDetail(app, got, total).c_str(), kWarning, iw);
    spacer(6);
    const float fraction = total > 0 ? float(double(got) / double(total)) : 0.0f;
    progressBar(fraction, ImVec2(iw, px(18)), app.frameTime);
    if (app.installState != 1) return;
    spacer(6);
    if (button(tr("Stop", "Arrêter"), ImVec2(0, px(48)), ButtonKind::Secondary, true, 20) &&
        app.installState == 1)
        app.installStop = true;
}

void drawUpdateOffer(App& app, float iw, const UpdateCheckResult& update) {
    if (update.state != 3 || update.latestVersion == app.sourceVersion) return;
    spacer(12);
    const std::string heading = french ? "La version " + update.latestVersion + " est disponible."
                                       : "Version " + update.latestVersion + " is available.";
    const bool failed = app.installState == 4;
    const char* detail =
        failed ? app.installError.c_str()
               : tr("Update downloads and installs it here, then the launcher restarts and "
                    "Rebuild prepares the game again (only what changed). Your saves and settings "
                    "stay.",
                    "Mettre à jour la télécharge et l'installe ici, puis le lanceur redémarre et "
                    "Reconstruire prépare à nouveau le jeu (seulement ce qui a changé). Vos "
                    "sauvegardes et réglages restent.");
    alertBox(heading.c_str(), detail, failed ? kError : kAccent, iw);
    spacer(6);
    if (button(failed ? tr("Try again", "Réessayer") : tr("Update", "Mettre à jour"),
               ImVec2(0, px(48)), ButtonKind::Primary, !app.building && !app.gameRunning, 20))
        app.startUpdate(update.tag, update.latestVersion);
    ImGui::SameLine(0, px(12));
    if (button(tr("Open the release page", "Ouvrir la page de la version"), ImVec2(0, px(48)),
               ButtonKind::Secondary, true, 20))
        shellOpen(update.releasePageUrl);
}

// --- game result ---------------------------------------------------------------------------------

void drawGameResult(App& app, float iw) {
    if (app.crashReport.empty() && !app.gameFailed && app.gameStartError.empty()) return;
    spacer(10);
    const char* heading =
        !app.gameStartError.empty()
            ? tr("The game could not start.", "Le jeu n'a pas pu démarrer.")
            : tr("The game closed unexpectedly.", "Le jeu s'est fermé de façon inattendue.");
    std::string detail = app.crashReport;
    if (detail.empty()) detail = app.gameStartError;
    if (detail.empty()) detail = "exit code " + std::to_string(app.gameExitCode);
    alertBox(heading, detail.c_str(), kError, iw);
    spacer(8);
    if (!app.crashReport.empty()) {
        if (button(tr("Open crash report", "Ouvrir le rapport de plantage"), ImVec2(0, px(48)),
                   ButtonKind::Danger, true, 20))
            shellOpen(app.crashReport);
        ImGui::SameLine(0, px(12));
    }
    if (button(tr("Open log", "Ouvrir le journal"), ImVec2(0, px(48)), ButtonKind::Secondary, true,
               20))
        shellOpen(app.logsDir);
}

} // namespace

// --- the tab -------------------------------------------------------------------------------------

void drawPlayTab(App& app, float iw) {
    drawPlayTab(app, iw, app.updateCheck.snapshot());
}

void drawPlayTab(App& app, float iw, const UpdateCheckResult& update) {
    const bool built = gameBuilt(app);
    const bool pending = app.settings.build_pending;
    if (built && !pending)
        drawReady(app);
    else
        drawDisc(app, iw, pending);

    const bool notice = rebuildDue(app, built, pending);
    if (notice) drawRebuildNotice(app, iw);

    if (app.installState >= 1 && app.installState <= 3)
        drawInstallProgress(app, iw);
    else if (!notice)
        drawUpdateOffer(app, iw, update);

    drawGameResult(app, iw);
}

} // namespace ui
