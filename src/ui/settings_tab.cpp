// The Settings tab: the window the game opens with (mode and size, saved to video.ini) and the
// launcher's own options (language, background motion, update check, saved to launcher.ini).
//
// Sections: window sizes · window mode and size · launcher options · the tab
#include "app/app.h"
#include "ui/desktop.h"
#include "ui/lang.h"
#include "ui/screens.h"
#include "ui/widgets.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>

// --- window sizes --------------------------------------------------------------------------------

std::vector<std::pair<int32_t, int32_t>> resolutionChoices(int dw, int dh) {
    static const std::pair<int32_t, int32_t> kCandidates[] = {
        {640, 480},   {800, 600},   {1024, 768},  {1280, 960},  {1440, 1080},
        {1600, 1200}, {1920, 1440}, {2880, 2160}, {1280, 720},  {1366, 768},
        {1600, 900},  {1920, 1080}, {2560, 1440}, {3200, 1800}, {3840, 2160}};
    std::vector<std::pair<int32_t, int32_t>> sizes;
    for (const auto& c : kCandidates)
        if (dw <= 0 || (c.first <= dw && c.second <= dh)) sizes.push_back(c);
    if (dw > 0) sizes.emplace_back(dw, dh);
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

namespace ui {

namespace {

struct Mode {
    const char* value;
    const char* en;
    const char* fr;
};
const Mode kModes[3] = {{"windowed", "Windowed", "Fenêtré"},
                        {"fullscreen", "Full screen", "Plein écran"},
                        {"borderless", "Borderless window", "Fenêtre sans bordure"}};

const char* gameDefaultLabel() {
    return tr("Game default (640 × 448)", "Par défaut (640 × 448)");
}

void caption(const char* str) {
    text(str, 17, kDim);
}

// --- window mode and size ------------------------------------------------------------------------

// True when a pill was clicked.
bool drawModePills(VideoSettings& video) {
    bool changed = false;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) ImGui::SameLine(0, px(8));
        char label[64];
        std::snprintf(label, sizeof label, "%s##mode%d", tr(kModes[i].en, kModes[i].fr), i);
        if (pill(label, video.mode == kModes[i].value, 18, true)) {
            video.mode = kModes[i].value;
            changed = true;
        }
    }
    return changed;
}

// True when an entry was chosen.
bool drawSizeList(VideoSettings& video) {
    char preview[96];
    if (video.width == 0)
        std::snprintf(preview, sizeof preview, "%s", gameDefaultLabel());
    else
        std::snprintf(preview, sizeof preview, "%d × %d", video.width, video.height);
    bool changed = false;
    ImGui::SetNextItemWidth(px(320));
    ImGui::PushFont(mainFont, px(18));
    if (ImGui::BeginCombo("##resolution", preview)) {
        // The chosen entry has the keyboard focus when the list opens.
        if (ImGui::Selectable(gameDefaultLabel(), video.width == 0)) {
            video.width = video.height = 0;
            changed = true;
        }
        if (video.width == 0) ImGui::SetItemDefaultFocus();
        const WindowSize desktop = desktopSize();
        for (const auto& [w, h] : resolutionChoices(desktop.width, desktop.height)) {
            char label[96];
            std::snprintf(label, sizeof label, "%d × %d", w, h);
            const bool selected = video.width == w && video.height == h;
            if (ImGui::Selectable(label, selected)) {
                video.width = w;
                video.height = h;
                changed = true;
            }
            if (selected) ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }
    ImGui::PopFont();
    return changed;
}

void drawWindowSettings(App& app) {
    caption(tr("Window", "Fenêtre"));
    bool changed = drawModePills(app.video);
    spacer(6);
    caption(tr("Resolution", "Résolution"));
    if (app.video.mode != "borderless")
        changed = drawSizeList(app.video) || changed;
    else
        text(tr("The monitor's own size.", "La taille de l'écran."), 18, kMuted);
    if (changed) {
        // The file names the default size outright; the record keeps 0 × 0 for the list.
        VideoSettings saved = app.video;
        if (saved.width == 0) {
            saved.width = 640;
            saved.height = 448;
        }
        saveVideoSettings(saved, app.videoIni);
        app.video.exists = true;
    }
    if (app.video.exists)
        text(tr("Saved. The game uses it the next time it starts.",
                "Enregistré. Le jeu l'utilisera au prochain démarrage."),
             16, kSuccess);
}

// --- launcher options ----------------------------------------------------------------------------

void drawLauncherSettings(App& app) {
    caption(tr("Launcher", "Lanceur"));
    if (pill("English##en", !french, 18, true)) setLanguage(app, false);
    ImGui::SameLine(0, px(8));
    if (pill("Français##fr", french, 18, true)) setLanguage(app, true);

    char label[96];
    std::snprintf(label, sizeof label, "%s##motion",
                  app.settings.motion ? tr("Background motion: on", "Animation du fond : oui")
                                      : tr("Background motion: off", "Animation du fond : non"));
    ImGui::SameLine(0, px(28));
    if (pill(label, app.settings.motion, 18, true)) {
        app.settings.motion = !app.settings.motion;
        saveLauncherSettings(app.settings, app.launcherIni);
    }

    spacer(6);
    std::snprintf(label, sizeof label, "%s##updates",
                  app.settings.update_check ? tr("Check for updates at start: on",
                                                 "Vérifier les mises à jour au démarrage : oui")
                                            : tr("Check for updates at start: off",
                                                 "Vérifier les mises à jour au démarrage : non"));
    if (pill(label, app.settings.update_check, 18, true)) {
        app.settings.update_check = !app.settings.update_check;
        saveLauncherSettings(app.settings, app.launcherIni);
    }
    text(tr("It only asks GitHub for the latest version number; nothing is downloaded or sent.",
            "Il demande seulement à GitHub le numéro de la dernière version ; rien n'est "
            "téléchargé ni envoyé."),
         15, kDim);
}

} // namespace

// --- the tab -------------------------------------------------------------------------------------

void drawSettingsTab(App& app) {
    title(tr("Settings", "Réglages"), kLight);
    spacer(2);
    textWrapped(tr("Controls, video and cheats are in the game: press F2 while playing. Here, the "
                   "window the game opens with.",
                   "Les commandes, la vidéo et les astuces sont dans le jeu : appuyez sur F2 en "
                   "jouant. Ici, la fenêtre avec laquelle le jeu démarre."),
                18, kMuted);
    spacer(10);
    drawWindowSettings(app);
    spacer(12);
    drawLauncherSettings(app);
}

} // namespace ui
