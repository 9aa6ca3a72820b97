// The question asked when the window is closed while the game is being prepared.
#include "app/app.h"
#include "ui/lang.h"
#include "ui/screens.h"
#include "ui/widgets.h"

#include <imgui.h>

namespace ui {

void drawQuitConfirmation(App& app, WindowSize window) {
    if (app.quitAsked) {
        ImGui::OpenPopup("##quit");
        app.quitAsked = false;
    }
    ImGui::SetNextWindowPos(ImVec2(float(window.width) / 2, float(window.height) / 2),
                            ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    if (!ImGui::BeginPopupModal("##quit", nullptr,
                                ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_AlwaysAutoResize))
        return;
    title(tr("Stop preparing and quit?", "Arrêter la préparation et quitter ?"), kLight);
    text(tr("It continues from there next time.", "Elle reprendra à partir de là."), 18, kMuted);
    spacer(8);
    // Escape does not answer the question; B on a gamepad, the way back there, keeps going.
    if (button(tr("Keep going", "Continuer"), ImVec2(px(200), px(48)), ButtonKind::Primary, true,
               20) ||
        gamepadBack())
        ImGui::CloseCurrentPopup();
    takeDefaultFocus();
    ImGui::SameLine(0, px(12));
    if (button(tr("Stop and quit", "Arrêter et quitter"), ImVec2(px(220), px(48)),
               ButtonKind::Danger, true, 20)) {
        // The build may have ended on its own while the question was open.
        if (app.building) app.stopBuild();
        app.quitNow = true;
    }
    ImGui::EndPopup();
}

} // namespace ui
