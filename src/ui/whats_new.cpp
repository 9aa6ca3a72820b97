// The "What's new" window: the changelog section of the installed version, scrolling and wrapped.
#include "app/app.h"
#include "ui/lang.h"
#include "ui/screens.h"
#include "ui/widgets.h"
#include "update/whatsnew.h"

#include <imgui.h>

#include <algorithm>

namespace ui {

namespace {

// The entries are laid out once per text rather than every frame the window is open.
const std::vector<ChangelogLine>& entriesOf(const std::string& text) {
    static std::string source;
    static std::vector<ChangelogLine> entries;
    static bool ready = false;
    if (!ready || source != text) {
        source = text;
        entries = changelogDisplayLines(text);
        ready = true;
    }
    return entries;
}

void drawEntries(const std::string& text) {
    for (const ChangelogLine& line : entriesOf(text)) {
        switch (line.kind) {
        case ChangelogLine::Gap:
            spacer(4);
            break;
        case ChangelogLine::Heading:
            spacer(4);
            ui::text(line.text.c_str(), 19, kViolet);
            break;
        case ChangelogLine::Paragraph:
            textWrapped(line.text.c_str(), 17, kLight);
            break;
        }
    }
}

} // namespace

void drawWhatsNewWindow(App& app, WindowSize window) {
    if (app.showWhatsNew) {
        ImGui::OpenPopup("##whatsnew");
        app.showWhatsNew = false;
    }
    const float W = float(window.width), H = float(window.height);
    const float ww = std::min(px(820), W - px(80));
    ImGui::SetNextWindowSize(ImVec2(ww, 0), ImGuiCond_Always);
    ImGui::SetNextWindowPos(ImVec2(W / 2, H / 2), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    if (!ImGui::BeginPopupModal("##whatsnew", nullptr,
                                ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_AlwaysAutoResize))
        return;
    static std::string heading;
    heading = tr("What's new in ", "Nouveautés de la version ");
    heading += app.whatsNewVersion;
    title(heading.c_str(), kLight);

    const float inner = ww - px(56);
    ImGui::BeginChild("##whatsnew-text",
                      ImVec2(inner, std::max(std::min(px(420), H - px(260)), 1.0f)));
    ImGui::PushTextWrapPos(inner - px(16));
    drawEntries(app.whatsNewText);
    ImGui::PopTextWrapPos();
    ImGui::EndChild();

    spacer(8);
    if (button(tr("Close", "Fermer"), ImVec2(px(160), px(44)), ButtonKind::Primary, true, 20) ||
        ImGui::IsKeyPressed(ImGuiKey_Escape, true) || gamepadBack())
        ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
}

} // namespace ui
