// The frame: root panel · header · title · card and its content · footer · preparing mark ·
// Escape · the two modal windows.
#include "ui/frame.h"

#include "app/app.h"
#include "app/identity.h"
#include "ui/desktop.h"
#include "ui/lang.h"
#include "ui/screens.h"
#include "ui/widgets.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cstdio>

namespace ui {

namespace {

const char* const kMakers = "Tallyglass";
const char* const kSiteUrl = "https://tallyglass.github.io/";

constexpr ImGuiWindowFlags kRootFlags =
    ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
    ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoBackground |
    ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus;
static_assert(kRootFlags == 0x21AF);

// What the card shows, in the order the conditions are tested.
enum class Content { Missing, Welcome, Settings, Maintenance, Preparing, Failure, Play };

Content chooseContent(const App& app) {
    if (app.screen == Screen::Missing) return Content::Missing;
    if (app.screen == Screen::NoDisc) return Content::Welcome;
    if (app.tab == 1) return Content::Settings;
    if (app.tab == 2) return Content::Maintenance;
    if (app.screen == Screen::Preparing) return Content::Preparing;
    if (app.screen == Screen::Failed) return Content::Failure;
    return Content::Play;
}

// --- header and title ----------------------------------------------------------------------------

// The shoulder buttons of a gamepad step through the tabs, the focus going with them; not while a
// window or a list is open over the frame.
int shoulderStep() {
    if (ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId | ImGuiPopupFlags_AnyPopupLevel))
        return 0;
    return int(ImGui::IsKeyPressed(ImGuiKey_GamepadR1, false)) -
           int(ImGui::IsKeyPressed(ImGuiKey_GamepadL1, false));
}

void drawTabs(App& app, float W) {
    const int step = shoulderStep();
    if (step != 0) app.tab = (app.tab + step + 3) % 3;
    const char* names[3] = {tr("Play", "Jouer"), tr("Settings", "Réglages"), "Maintenance"};
    float total = 0;
    for (const char* name : names)
        total += measureText(name, 17, 0).x + px(30) + px(8);
    ImGui::SetCursorPos(ImVec2(W - px(44) - total, px(30)));
    for (int i = 0; i < 3; ++i) {
        if (i > 0) ImGui::SameLine(0, px(8));
        char label[64];
        std::snprintf(label, sizeof label, "%s##tab%d", names[i], i);
        if (pill(label, app.tab == i, 17, true)) app.tab = i;
        if (step != 0 && app.tab == i) {
            ImGui::SetFocusID(ImGui::GetItemID(), ImGui::GetCurrentWindow());
            GImGui->NavCursorVisible = true;
        }
    }
}

void drawHeader(App& app, float W) {
    const ImVec2 origin = ImGui::GetWindowPos();
    fancyText(ImVec2(origin.x + px(44), origin.y + px(26)), kMakers, 24, kLight, 5, true, 0.9f);
    const float h = measureText(kMakers, 24, 5).y;
    fancyText(ImVec2(origin.x + px(44), origin.y + px(26) + h + px(2)),
              tr("A fan-made PC port", "Un portage PC fait par des fans"), 14, kMuted, 1.6f, false,
              0);
    if (app.screen == Screen::Missing || app.screen == Screen::NoDisc) {
        ImGui::SetCursorPos(ImVec2(W - px(44) - px(110), px(30)));
        if (pill(tr("Français##lang", "English##lang"), false, 16, true)) setLanguage(app, !french);
    } else {
        drawTabs(app, W);
    }
}

void drawTitle() {
    const ImVec2 origin = ImGui::GetWindowPos();
    fancyText(ImVec2(origin.x + px(44), origin.y + px(100)), "Quillmere", 52, kLight, 1.0f, true,
              1.0f);
    const float t = measureText("Quillmere", 52, 1.0f).y;
    fancyText(ImVec2(origin.x + px(46), origin.y + px(100) + t + px(2)),
              tr("PC port — your own disc required", "Portage PC — votre propre disque requis"), 19,
              kMuted, 1.2f, false, 0);
}

// --- card ----------------------------------------------------------------------------------------

void drawContent(App& app, Content content, float iw, const UpdateCheckResult& update) {
    switch (content) {
    case Content::Missing:
        return drawMissingScreen(app);
    case Content::Welcome:
        return drawWelcomeScreen(app, iw);
    case Content::Settings:
        return drawSettingsTab(app);
    case Content::Maintenance:
        return drawMaintenanceTab(app, iw, update);
    case Content::Preparing:
        return drawPreparingPanel(app, iw);
    case Content::Failure:
        return drawFailurePanel(app, iw);
    case Content::Play:
        return drawPlayTab(app, iw, update);
    }
}

// The footer's top edge: the footer's first element sits there.
float footerTop(float H) {
    return H - px(46);
}

void drawCard(App& app, float W, float H, const UpdateCheckResult& update) {
    // The screen's default button takes the focus whenever the card's content changes.
    static int lastContentKey = -1;
    const Content content = chooseContent(app);
    const int key = int(content) * 2 + (app.checkingDisc ? 1 : 0);
    const bool changed = key != lastContentKey;
    requestDefaultFocus(changed);
    lastContentKey = key;

    // The card stops an item spacing above the footer, so that its shadow stays off the links;
    // taller content scrolls inside it, and new content starts at its top.
    const float cw = std::min(px(1040), W - px(88));
    const float top = px(208);
    ImGui::SetCursorPos(ImVec2(px(44), top));
    beginCard(cw, 30, footerTop(H) - px(12) - top, changed);
    drawContent(app, content, cw - px(60), update);
    closeCard();
    requestDefaultFocus(false);
}

// --- footer and preparing mark -------------------------------------------------------------------

void drawFooter(App& app, float H, int32_t updateState) {
    ImGui::SetCursorPos(ImVec2(px(42), footerTop(H)));
    if (button("Tallyglass ›##site", ImVec2(0, 0), ButtonKind::Link, true, 16)) shellOpen(kSiteUrl);

    char line[160];
    std::snprintf(
        line, sizeof line, "%s %s  ·  %.10s%s", kRepoName, kLauncherVersion, launcherCommit(),
        updateState == 3 ? tr("  ·  update available", "  ·  mise à jour disponible") : "");
    ImGui::SameLine(0, px(16));
    ImGui::SetCursorPosY(ImGui::GetCursorPosY() + px(2));
    text(line, 15, kDim);

    if (app.whatsNewText.empty()) return;
    ImGui::SameLine(0, px(16));
    ImGui::SetCursorPosY(ImGui::GetCursorPosY() - px(2));
    if (button(tr("What's new ›##whatsnew-footer", "Nouveautés ›##whatsnew-footer"), ImVec2(0, 0),
               ButtonKind::Link, true, 16))
        app.showWhatsNew = true;
}

void drawPreparingMark(App& app, float W, float H) {
    if (!app.building || app.tab == 0) return;
    char mark[64];
    std::snprintf(mark, sizeof mark, tr("Preparing… %d %%", "Préparation… %d %%"),
                  int(100.0 * app.progress.fraction()));
    const float width = measureText(mark, 16, 0).x;
    const ImVec2 origin = ImGui::GetWindowPos();
    ImGui::GetWindowDrawList()->AddText(
        mainFont, px(16), ImVec2(origin.x + W - px(44) - width, origin.y + H - px(42)),
        withAlphaByte(kAccent, 0xFF), mark);
}

bool anyPopupOpen() {
    return ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId | ImGuiPopupFlags_AnyPopupLevel);
}

// Dear ImGui closes a drop-down list on Escape before the frame is drawn, so a list that was open
// at the end of the last frame counts as open: that Escape only closes the list.
bool popupOpenLastFrame = false;

void handleEscape(App& app) {
    if (!(ImGui::IsKeyPressed(ImGuiKey_Escape, true) || gamepadBack()) || app.tab == 0) return;
    if (anyPopupOpen() || popupOpenLastFrame) return;
    app.tab = 0;
}

// Tab starting from an item that has gone (its screen was replaced) finds no next item and would
// go nowhere; let it wrap to the first item instead, as it does from the last one. The card's
// region takes part in the panel's navigation: focus there is the panel's.
void rescueTabbing() {
    ImGuiContext& g = *GImGui;
    if (!g.NavWindow || g.NavWindow->RootWindowForNav != ImGui::GetCurrentWindow() ||
        !g.NavMoveScoringItems)
        return;
    if ((g.NavMoveFlags & ImGuiNavMoveFlags_IsTabbing) && g.NavTabbingDir == +1 &&
        g.NavTabbingCounter == -1)
        g.NavTabbingCounter = 1;
}

} // namespace

// --- the frame -----------------------------------------------------------------------------------

void drawFrame(App& app) {
    drawFrame(app, app.updateCheck.snapshot());
}

void drawFrame(App& app, const UpdateCheckResult& update) {
    const WindowSize win = windowSize();
    const float W = float(win.width), H = float(win.height);
    ImGui::SetNextWindowPos(ImVec2(0, 0), ImGuiCond_Always, ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(W, H), ImGuiCond_Always);
    ImGui::Begin("##root", nullptr, kRootFlags);

    drawHeader(app, W);
    drawTitle();
    drawCard(app, W, H, update);
    drawFooter(app, H, update.state);
    drawPreparingMark(app, W, H);
    handleEscape(app);
    rescueTabbing();

    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(px(28), px(24)));
    drawQuitConfirmation(app, win);
    drawWhatsNewWindow(app, win);
    ImGui::PopStyleVar();
    popupOpenLastFrame = anyPopupOpen();
    ImGui::End();
}

} // namespace ui
