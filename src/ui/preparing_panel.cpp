// The preparing panel, in the Play tab's place while the game is being prepared: the overall
// progress, the elapsed time and the estimate, the eight steps in two columns, and Stop.
//
// Sections: the step grid · the panel
#include "app/app.h"
#include "plat/clock.h"
#include "prep/duration.h"
#include "ui/lang.h"
#include "ui/screens.h"
#include "ui/widgets.h"

#include <imgui.h>

#include <cstdio>

namespace ui {

namespace {

// --- the step grid -------------------------------------------------------------------------------

uint32_t labelColour(StepState state) {
    switch (state) {
    case StepState::Running:
        return kLight;
    case StepState::Pending:
        return kDim;
    case StepState::Failed:
        return kError;
    default:
        return kMuted;
    }
}

// The note at the right end of a step's row, or false when the step has none.
bool stepNote(const BuildStep& step, char (&note)[32], uint32_t& rgb) {
    rgb = kDim;
    if (step.state == StepState::Running && step.percent > 0) {
        std::snprintf(note, sizeof note, "%d %%", step.percent);
        rgb = kAccent;
        return true;
    }
    if (step.state == StepState::Done && step.seconds >= 1) {
        std::snprintf(note, sizeof note, "%s", formatDuration(step.seconds).c_str());
        return true;
    }
    if (step.state == StepState::Skipped) {
        std::snprintf(note, sizeof note, "%s", tr("done before", "déjà fait"));
        return true;
    }
    return false;
}

void drawStep(const BuildStep& step, float x, float y, float h, float cw, double time) {
    stepIcon(ImVec2(x + px(10), y + h / 2), step.state, time);
    drawText(ImVec2(x + px(30), y + (h - px(18)) / 2 - px(2)), 18,
             withAlphaByte(labelColour(step.state), 0xFF), stepLabelText(step.name));
    char note[32];
    uint32_t rgb;
    if (!stepNote(step, note, rgb)) return;
    const float width = measureText(note, 15, 0).x;
    drawText(ImVec2(x + cw - width, y + (h - px(15)) / 2 - px(1)), 15, withAlphaByte(rgb, 0xFF),
             note);
}

// Drawn without items; the grid always takes five rows, however many steps there are.
void drawStepGrid(const App& app, float iw) {
    const ImVec2 o = ImGui::GetCursorScreenPos();
    const float h = px(34), cw = (iw - px(20)) / 2;
    const std::vector<BuildStep>& steps = app.progress.steps;
    for (size_t i = 0; i < steps.size(); ++i) {
        const float x = o.x + (i <= 4 ? 0 : cw + px(20));
        const float y = o.y + float(i % 5) * h;
        drawStep(steps[i], x, y, h, cw, app.frameTime);
    }
    ImGui::SetCursorScreenPos(ImVec2(o.x, o.y + 5 * h + px(10)));
}

} // namespace

// --- the panel -----------------------------------------------------------------------------------

void drawPreparingPanel(App& app, float iw) {
    title(tr("Preparing the game", "Préparation du jeu"), kLight);
    textWrapped(tr("This happens once. You can keep using your PC meanwhile.",
                   "Cela n'arrive qu'une fois. Vous pouvez continuer à utiliser votre PC."),
                18, kMuted);
    spacer(8);

    const float f = float(app.progress.fraction());
    progressBar(f, ImVec2(iw - px(90), px(18)), app.frameTime);
    ImGui::SameLine(0, px(16));
    ImGui::SetCursorPosY(ImGui::GetCursorPosY() - px(6));
    char percent[16];
    std::snprintf(percent, sizeof percent, "%d %%", int(f * 100.0f));
    text(percent, 22, kLight);
    // The run's start was taken on this same clock.
    text(estimateText(app.progress, plat::now()).c_str(), 17, kMuted);
    spacer(8);

    drawStepGrid(app, iw);

    const bool stopping = app.stopRequested;
    if (button(stopping ? tr("Stopping…", "Arrêt…") : tr("Stop", "Arrêter"),
               ImVec2(px(150), px(48)), ButtonKind::Danger, !stopping, 20) &&
        app.building)
        app.stopBuild();
    ImGui::SameLine(0, px(16));
    ImGui::SetCursorPosY(ImGui::GetCursorPosY() + px(12));
    text(tr("Stopping is safe: it continues from there next time.",
            "Arrêter est sans risque : la suite reprendra plus tard."),
         16, kDim);
}

} // namespace ui
