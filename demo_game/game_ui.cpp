// The scene · the overlay · the settings window and its three tabs.
#include "game_ui.h"

#include <imgui.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct SizeChoice {
    int width, height;
};
const SizeChoice kSizes[] = {{640, 448},  {800, 600},   {1024, 768},  {1280, 960},
                             {1280, 720}, {1600, 1200}, {1920, 1080}, {2560, 1440}};
const char* const kModes[] = {"windowed", "fullscreen", "borderless"};
const char* const kModeLabels[] = {"Windowed", "Full screen (exclusive)",
                                   "Borderless (the monitor's size)"};
const char* const kCheatLabels[kCheatCount] = {"Infinite health", "All gadgets", "Moon jump",
                                               "Slow motion"};

ImU32 hue(float h, float s, float v, float alpha = 1.0f) {
    float r, g, b;
    ImGui::ColorConvertHSVtoRGB(h - std::floor(h), s, v, r, g, b);
    return ImGui::GetColorU32(ImVec4(r, g, b, alpha));
}

} // namespace

// --- the scene -----------------------------------------------------------------------------------

void drawScene(double t) {
    ImDrawList* dl = ImGui::GetBackgroundDrawList();
    ImVec2 size = ImGui::GetIO().DisplaySize;
    float ft = float(t);
    // A sky whose colours drift slowly round the colour wheel.
    dl->AddRectFilledMultiColor(ImVec2(0, 0), size, hue(0.60f + ft * 0.02f, 0.7f, 0.35f),
                                hue(0.75f + ft * 0.02f, 0.7f, 0.35f),
                                hue(0.95f + ft * 0.02f, 0.8f, 0.12f),
                                hue(0.50f + ft * 0.02f, 0.8f, 0.12f));
    ImVec2 c(size.x * 0.5f, size.y * 0.5f);
    float unit = std::fmin(size.x, size.y);
    // Quads that orbit the centre and spin on themselves, each at its own pace.
    const int kQuads = 6;
    for (int i = 0; i < kQuads; ++i) {
        float orbit = ft * 0.6f + float(i) * 6.2831853f / kQuads;
        float radius = unit * (0.22f + 0.05f * std::sin(ft * 1.3f + float(i)));
        ImVec2 p(c.x + radius * std::cos(orbit), c.y + radius * std::sin(orbit));
        float half = unit * 0.05f, spin = ft * (1.0f + 0.3f * float(i));
        ImVec2 corner[4];
        for (int k = 0; k < 4; ++k) {
            float a = spin + float(k) * 1.5707963f;
            corner[k] = ImVec2(p.x + half * std::cos(a), p.y + half * std::sin(a));
        }
        dl->AddQuadFilled(corner[0], corner[1], corner[2], corner[3],
                          hue(float(i) / kQuads + ft * 0.05f, 0.8f, 0.95f, 0.9f));
    }
    // A pulsing core, so that a still frame can be told from a frozen one.
    float pulse = 0.5f + 0.5f * std::sin(ft * 2.0f);
    dl->AddCircleFilled(c, unit * (0.04f + 0.02f * pulse), hue(ft * 0.1f, 0.3f, 1.0f, 0.8f), 32);
}

// --- the overlay ---------------------------------------------------------------------------------

void drawOverlay(float fps, const WindowConfig& config, int width, int height) {
    ImGui::SetNextWindowPos(ImVec2(10, 10));
    ImGui::SetNextWindowBgAlpha(0.55f);
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration |
                                   ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoNav |
                                   ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoInputs;
    if (ImGui::Begin("##overlay", nullptr, flags)) {
        ImGui::TextUnformatted(kGameTitle);
        ImGui::Text("%.0f FPS (frame rate %s)", fps, config.frameRate.c_str());
        ImGui::Text("%d x %d %s", width, height, config.mode.c_str());
        ImGui::Text("render scale %s", config.renderScale.c_str());
        ImGui::TextUnformatted("F2: settings");
    }
    ImGui::End();
}

// --- the settings window -------------------------------------------------------------------------

static void controlsTab() {
    struct Binding {
        const char *action, *pad, *keys;
    };
    const Binding bindings[] = {
        {"Move", "Left stick", "W A S D"}, {"Camera", "Right stick", "Mouse"},
        {"Jump", "Cross", "Space"},        {"Attack", "Square", "Left button"},
        {"Gadget", "Circle", "E"},         {"Pause", "Start", "Escape"}};
    if (!ImGui::BeginTable("##controls", 3, ImGuiTableFlags_RowBg | ImGuiTableFlags_Borders))
        return;
    ImGui::TableSetupColumn("Action");
    ImGui::TableSetupColumn("Controller");
    ImGui::TableSetupColumn("Keyboard and mouse");
    ImGui::TableHeadersRow();
    for (const Binding& b : bindings) {
        ImGui::TableNextRow();
        ImGui::TableNextColumn();
        ImGui::TextUnformatted(b.action);
        ImGui::TableNextColumn();
        ImGui::TextUnformatted(b.pad);
        ImGui::TableNextColumn();
        ImGui::TextUnformatted(b.keys);
    }
    ImGui::EndTable();
}

static bool sizeCombo(WindowConfig& config) {
    std::vector<SizeChoice> sizes(std::begin(kSizes), std::end(kSizes));
    int current = -1;
    for (size_t i = 0; i < sizes.size(); ++i)
        if (sizes[i].width == config.width && sizes[i].height == config.height) current = int(i);
    if (current < 0) { // a size from video.ini or the environment that the list lacks
        sizes.push_back({config.width, config.height});
        current = int(sizes.size()) - 1;
    }
    char label[32];
    std::snprintf(label, sizeof label, "%d x %d", config.width, config.height);
    bool changed = false;
    if (ImGui::BeginCombo("Size", label)) {
        for (size_t i = 0; i < sizes.size(); ++i) {
            std::snprintf(label, sizeof label, "%d x %d%s", sizes[i].width, sizes[i].height,
                          i == 0 ? " (default)" : "");
            if (ImGui::Selectable(label, int(i) == current) && int(i) != current) {
                config.width = sizes[i].width;
                config.height = sizes[i].height;
                changed = true;
            }
        }
        ImGui::EndCombo();
    }
    return changed;
}

static bool modeCombo(WindowConfig& config) {
    int current = 0;
    for (int i = 0; i < 3; ++i)
        if (config.mode == kModes[i]) current = i;
    bool changed = false;
    if (ImGui::BeginCombo("Mode", kModeLabels[current])) {
        for (int i = 0; i < 3; ++i) {
            if (ImGui::Selectable(kModeLabels[i], i == current) && i != current) {
                config.mode = kModes[i];
                changed = true;
            }
        }
        ImGui::EndCombo();
    }
    return changed;
}

static bool videoTab(GameUi& ui, WindowConfig& config) {
    bool changed = sizeCombo(config);
    changed = modeCombo(config) || changed;
    ImGui::Text("Render scale: %s", config.renderScale.c_str());
    ImGui::Text("Frame rate: %s", config.frameRate.c_str());
    if (!ui.videoNote.empty()) ImGui::TextWrapped("%s", ui.videoNote.c_str());
    return changed;
}

static void cheatsTab(GameUi& ui) {
    for (int i = 0; i < kCheatCount; ++i)
        ImGui::Checkbox(kCheatLabels[i], &ui.cheats[i]);
}

bool drawSettings(GameUi& ui, WindowConfig& config) {
    if (ImGui::IsKeyPressed(ImGuiKey_F2, false)) ui.settingsOpen = !ui.settingsOpen;
    if (!ui.settingsOpen) return false;
    ImVec2 size = ImGui::GetIO().DisplaySize;
    // Centred when it opens, and again when the Video tab has resized the game's window, so that
    // it never ends up outside a smaller one.
    bool resized = size.x != ui.shownFor[0] || size.y != ui.shownFor[1];
    ui.shownFor[0] = size.x;
    ui.shownFor[1] = size.y;
    ImGui::SetNextWindowPos(ImVec2(size.x * 0.5f, size.y * 0.5f),
                            resized ? ImGuiCond_Always : ImGuiCond_Appearing, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowSize(ImVec2(420, 280), ImGuiCond_Appearing);
    bool changed = false;
    if (ImGui::Begin("Settings", &ui.settingsOpen, ImGuiWindowFlags_NoCollapse) &&
        ImGui::BeginTabBar("##settingsTabs")) {
        if (ImGui::BeginTabItem("Controls")) {
            controlsTab();
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem("Video")) {
            changed = videoTab(ui, config);
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem("Cheats")) {
            cheatsTab(ui);
            ImGui::EndTabItem();
        }
        ImGui::EndTabBar();
    }
    ImGui::End();
    return changed;
}
