// The Maintenance tab: one row per occasional action (rebuild, another disc, the folders of saves
// and logs, the update check), each a button with its explanation; the last row's explanation is
// the launcher's version line with the update check's result.
#include "app/app.h"
#include "app/identity.h"
#include "plat/fs.h"
#include "ui/lang.h"
#include "ui/screens.h"
#include "ui/widgets.h"

#include <string>

namespace ui {

namespace {

std::string versionLine(const UpdateCheckResult& update) {
    std::string line = tr("This is version ", "Version installée : ");
    line += kLauncherVersion;
    line += ".";
    switch (update.state) {
    case 1:
        line += tr(" Checking…", " Vérification…");
        break;
    case 2:
        line += tr(" It is the latest.", " C'est la plus récente.");
        break;
    case 3:
        line += tr(" Version ", " La version ") + update.latestVersion +
                tr(" is available (Play tab).", " est disponible (onglet Jouer).");
        break;
    case 4:
        // A check made at start that failed is nobody's business; one the user asked for is.
        if (update.userAsked)
            line += tr(" Could not check: ", " Vérification impossible : ") + update.error + ".";
        break;
    default:
        break;
    }
    return line;
}

} // namespace

void drawMaintenanceTab(App& app, float iw) {
    drawMaintenanceTab(app, iw, app.updateCheck.snapshot());
}

void drawMaintenanceTab(App& app, float iw, const UpdateCheckResult& update) {
    title("Maintenance", kLight);
    spacer(6);
    const float bw = px(270);

    if (actionRow(bw, iw, tr("Rebuild", "Reconstruire"),
                  tr("After an update: builds the game again (only what changed).",
                     "Après une mise à jour : reconstruit le jeu (seulement ce qui a changé)."),
                  !app.building && !app.gameRunning && !app.settings.disc.empty()))
        app.startBuild();
    if (actionRow(bw, iw, tr("Change disc image", "Changer d'image disque"),
                  tr("Use another copy of your disc.", "Utiliser une autre copie de votre disque."),
                  !app.building))
        app.chooseDisc();

    const std::string saves =
        tr("Memory cards and settings: ", "Cartes mémoire et réglages : ") + app.userDir;
    if (actionRow(bw, iw, tr("Open saves folder", "Dossier des sauvegardes"), saves.c_str(), true))
        shellOpen(app.userDir);
    // The game's log folder appears only once the game has run.
    if (actionRow(bw, iw, tr("Open game logs", "Journaux du jeu"),
                  tr("What the game wrote, and crash reports.",
                     "Ce que le jeu a écrit, et les rapports de plantage."),
                  true))
        shellOpen(pathExists(app.logsDir) ? app.logsDir : app.userDir);
    if (actionRow(bw, iw, tr("Open build logs", "Journaux de préparation"),
                  tr("One file per step of preparing the game.",
                     "Un fichier par étape de la préparation."),
                  pathExists(app.buildLogsDir)))
        shellOpen(app.buildLogsDir);

    const std::string version = versionLine(update);
    if (actionRow(bw, iw, tr("Check for updates", "Vérifier les mises à jour"), version.c_str(),
                  update.state != 1))
        app.updateCheck.start(app.updateUrl, true);
}

} // namespace ui
