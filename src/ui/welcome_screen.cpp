// The welcome screen, shown until a disc image is accepted: what the launcher does, which disc it
// needs, the button that opens the file dialog, the running check and a refusal.
#include "app/app.h"
#include "plat/fs.h"
#include "ui/lang.h"
#include "ui/screens.h"
#include "ui/widgets.h"

#include <imgui.h>

namespace ui {

static void drawCheckRunning(App& app) {
    const ImVec2 p = ImGui::GetCursorScreenPos();
    spinner(ImVec2(p.x + px(14), p.y + px(14)), 11, app.frameTime);
    ImGui::SetCursorScreenPos(ImVec2(p.x + px(40), p.y + px(2)));
    ImGui::BeginGroup();
    text(tr("Checking the disc…", "Vérification du disque…"), 20, kLight);
    text(plat::fileName(app.discUnderCheck).c_str(), 16, kDim);
    ImGui::EndGroup();
}

void drawWelcomeScreen(App& app, float iw) {
    title(tr("Welcome", "Bienvenue"), kLight);
    spacer(4);
    textWrapped(
        tr("This launcher turns your own copy of Quillmere into a PC game. Nothing from the "
           "game comes with it: the game is built here, on your PC, from your disc.",
           "Ce lanceur transforme votre propre copie de Quillmere en jeu PC. Rien du jeu "
           "n'est fourni : le jeu est construit ici, sur votre PC, à partir de votre "
           "disque."),
        19, kLight, 0.92f);
    spacer(2);
    textWrapped(tr("You need a disc image of the USA release (SQMU-40420): a .iso, or a .bin with "
                   "its .cue. The European disc is not supported.",
                   "Il vous faut une image disque de la version américaine (SQMU-40420) : un .iso, "
                   "ou un .bin avec son .cue. Le disque européen n'est pas pris en charge."),
                19, kMuted);
    spacer(10);
    if (!app.checkingDisc) {
        if (button(tr("Select your disc image…", "Choisir votre image disque…"), ImVec2(0, px(56)),
                   ButtonKind::Primary, true, 21))
            app.chooseDisc();
        takeDefaultFocus();
    } else {
        drawCheckRunning(app);
    }
    if (!app.discMessage.empty()) {
        spacer(6);
        alertBox(app.discMessage.c_str(), app.discDetail.c_str(), kError, iw);
    }
}

} // namespace ui
