// The failure panel, in the Play tab's place after a build failed: where it stopped, what to do
// about it, the build's own reason, and the ways on: try again, the step's log, a report for the
// makers, another disc image.
#include "app/app.h"
#include "plat/fs.h"
#include "plat/window.h"
#include "prep/progress.h"
#include "ui/lang.h"
#include "ui/screens.h"
#include "ui/widgets.h"

#include <imgui.h>

#include <string>

namespace ui {

// Far enough in the past that the button reads "Copy details" at start.
double copiedAt = -10;

namespace {

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

const char* advice(const BuildProgress& progress) {
    if (contains(progress.error, "free space") || contains(progress.error, "No space"))
        return tr("The drive is full. Free some space and try again.",
                  "Le disque est plein. Libérez de la place et réessayez.");
    if (progress.failedStep == "verify" && contains(progress.error, "does not exist"))
        return tr("The disc image is no longer where it was. Select it again.",
                  "L'image disque n'est plus à son emplacement. Choisissez-la à nouveau.");
    return tr("Try again. If it stops at the same place, copy the details and send them to us.",
              "Réessayez. Si cela s'arrête au même endroit, copiez les détails et envoyez-les "
              "nous.");
}

void drawButtons(App& app) {
    const ImVec2 size(0, px(52));
    if (button(tr("Try again", "Réessayer"), size, ButtonKind::Primary, true, 20)) app.startBuild();
    takeDefaultFocus();

    ImGui::SameLine(0, px(12));
    if (button(tr("Open log", "Ouvrir le journal"), size, ButtonKind::Secondary, true, 20)) {
        // A run that never started, or a step that wrote no log: the folder, to look around.
        const std::string log = app.stepLogPath();
        shellOpen(pathExists(log) ? log : app.buildLogsDir);
    }

    ImGui::SameLine(0, px(12));
    const bool copied = app.frameTime - copiedAt < 2;
    if (copied) keepAnimating(); // the label turns back at its moment, not at the next event
    if (button(copied ? tr("Copied", "Copié") : tr("Copy details", "Copier les détails"), size,
               ButtonKind::Secondary, true, 20)) {
        ImGui::SetClipboardText(app.failureDetails().c_str());
        copiedAt = app.frameTime;
    }

    ImGui::SameLine(0, px(12));
    if (button(tr("Change disc image", "Changer d'image disque"), size, ButtonKind::Secondary, true,
               20))
        app.chooseDisc();
}

} // namespace

void drawFailurePanel(App& app, float iw) {
    title(tr("Preparing stopped", "La préparation s'est arrêtée"), kError);
    spacer(2);
    const std::string at = tr("At: ", "Étape : ") + stepLabel(app.progress.failedStep);
    text(at.c_str(), 18, kMuted);
    spacer(4);
    alertBox(advice(app.progress), app.progress.error.c_str(), kError, iw);
    spacer(10);
    drawButtons(app);
}

} // namespace ui
