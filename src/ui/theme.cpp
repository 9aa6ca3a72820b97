// Fonts and style: the fixed-width font search · loading the fonts · style sizes · style colours.
#include "ui/theme.h"

#include "plat/env.h"
#include "plat/fs.h"
#include "plat/resources.h"
#include "plat/window.h"
#include "ui/frame.h"
#include "ui/widgets.h"

#include <imgui.h>

#include <cstddef>
#include <cstring>

namespace ui {

// --- the fixed-width font search -----------------------------------------------------------------

std::vector<std::string> monoFontFolders() {
#ifdef _WIN32
    std::string windows = plat::getEnv("WINDIR");
    if (windows.empty()) windows = "C:\\Windows";
    return {plat::joinPath(windows, "Fonts")};
#else
    std::vector<std::string> folders;
    std::string data = plat::dataHome();
    if (!data.empty()) folders.push_back(plat::joinPath(data, "fonts"));
    std::string home = plat::getEnv("HOME");
    if (!home.empty()) folders.push_back(plat::joinPath(home, ".fonts"));
    folders.push_back("/usr/local/share/fonts");
    folders.push_back("/usr/share/fonts");
    return folders;
#endif
}

const std::vector<std::string>& monoFontNames() {
#ifdef _WIN32
    static const std::vector<std::string> names = {"CascadiaMono.ttf", "CascadiaCode.ttf",
                                                   "consola.ttf"};
#else
    static const std::vector<std::string> names = {
        "CascadiaMono.ttf", "CascadiaCode.ttf", "DejaVuSansMono.ttf", "LiberationMono-Regular.ttf",
        "NotoSansMono-Regular.ttf"};
#endif
    return names;
}

namespace {

// Font trees are shallow; the limit only guards against a pathological folder structure.
const int kMaxFontFolderDepth = 8;

void collect(const std::string& folder, int depth, bool flat, const std::vector<std::string>& names,
             std::vector<std::vector<std::string>>& found) {
    for (const plat::FileEntry& file : plat::listFiles(folder, ".ttf")) {
        const std::string name = plat::fileName(file.path);
        for (size_t i = 0; i < names.size(); ++i)
            if (name == names[i]) found[i].push_back(file.path);
    }
    if (flat || depth >= kMaxFontFolderDepth) return;
    for (const std::string& sub : plat::listSubfolders(folder))
        collect(sub, depth + 1, flat, names, found);
}

} // namespace

std::vector<std::string> findFontFiles(const std::vector<std::string>& folders,
                                       const std::vector<std::string>& names, bool flat) {
    std::vector<std::vector<std::string>> found(names.size());
    for (const std::string& folder : folders)
        collect(folder, 0, flat, names, found);
    std::vector<std::string> ordered;
    for (const std::vector<std::string>& paths : found)
        ordered.insert(ordered.end(), paths.begin(), paths.end());
    return ordered;
}

// --- loading the fonts ---------------------------------------------------------------------------

static ImFont* loadExo2(ImFontAtlas* atlas) {
    const plat::EmbeddedData font = plat::exo2Font();
    if (font.size <= 100) return nullptr;
    ImFontConfig cfg;
    cfg.FontDataOwnedByAtlas = false; // the bytes belong to the executable
    std::strncpy(cfg.Name, "Exo 2", sizeof cfg.Name - 1);
    return atlas->AddFontFromMemoryTTF(const_cast<unsigned char*>(font.bytes), int(font.size),
                                       20.0f * uiScale, &cfg);
}

static ImFont* loadMono(ImFontAtlas* atlas) {
#ifdef _WIN32
    const bool flat = true;
#else
    const bool flat = false;
#endif
    for (const std::string& path : findFontFiles(monoFontFolders(), monoFontNames(), flat))
        if (ImFont* font = atlas->AddFontFromFileTTF(path.c_str(), 16.0f * uiScale)) return font;
    return nullptr;
}

static void loadFonts() {
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    mainFont = loadExo2(atlas);
    monoFont = loadMono(atlas);
    if (!mainFont) mainFont = atlas->Fonts.Size > 0 ? atlas->Fonts[0] : atlas->AddFontDefault();
    if (!monoFont) monoFont = mainFont;
    ImGui::GetIO().FontDefault = mainFont;
}

// --- style ---------------------------------------------------------------------------------------

static void setStyleSizes(ImGuiStyle& st) {
    const float s = uiScale;
    st.FontSizeBase = 20 * s;
    st.WindowPadding = ImVec2(0, 0);
    st.WindowBorderSize = 0;
    st.WindowRounding = st.ChildRounding = 14 * s;
    st.PopupRounding = 12 * s;
    st.PopupBorderSize = 1;
    st.FramePadding = ImVec2(14 * s, 9 * s);
    st.FrameRounding = 12 * s;
    st.FrameBorderSize = 1;
    st.ItemSpacing = ImVec2(12 * s, 12 * s);
    st.ItemInnerSpacing = ImVec2(10 * s, 8 * s);
    st.ScrollbarSize = 12 * s;
    st.ScrollbarRounding = st.GrabRounding = 10 * s;
    st.SelectableTextAlign = ImVec2(0, 0.5f);
}

static ImVec4 colour(uint32_t rgb, float alpha) {
    return ImVec4(float((rgb >> 16) & 0xFF) / 255.0f, float((rgb >> 8) & 0xFF) / 255.0f,
                  float(rgb & 0xFF) / 255.0f, alpha);
}

static void setStyleColours(ImVec4* c) {
    c[ImGuiCol_Text] = colour(kLight, 1);
    c[ImGuiCol_TextDisabled] = colour(kDim, 1);
    c[ImGuiCol_WindowBg] = c[ImGuiCol_ChildBg] = c[ImGuiCol_BorderShadow] =
        c[ImGuiCol_ScrollbarBg] = ImVec4(0, 0, 0, 0);
    c[ImGuiCol_PopupBg] = colour(0x060B20, 0.97f);
    c[ImGuiCol_Border] = c[ImGuiCol_Separator] = colour(kPeriwinkle, 0.18f);
    c[ImGuiCol_FrameBg] = c[ImGuiCol_Button] = colour(kNavy, 0.35f);
    c[ImGuiCol_FrameBgHovered] = c[ImGuiCol_ButtonHovered] = colour(0x3250AA, 0.45f);
    c[ImGuiCol_FrameBgActive] = c[ImGuiCol_ButtonActive] = colour(0x4664C8, 0.55f);
    c[ImGuiCol_ScrollbarGrab] = colour(0x6E8CE6, 0.5f);
    c[ImGuiCol_ScrollbarGrabHovered] = colour(kAccent, 0.7f);
    c[ImGuiCol_ScrollbarGrabActive] = colour(kViolet, 0.8f);
    c[ImGuiCol_CheckMark] = colour(kSuccess, 1);
    c[ImGuiCol_SliderGrab] = colour(kAccent, 1);
    c[ImGuiCol_SliderGrabActive] = colour(kViolet, 1);
    c[ImGuiCol_Header] = colour(kViolet, 0.22f);
    c[ImGuiCol_HeaderHovered] = colour(kAccent, 0.28f);
    c[ImGuiCol_HeaderActive] = colour(kViolet, 0.4f);
    c[ImGuiCol_PlotHistogram] = colour(kAccent, 1);
    c[ImGuiCol_TextSelectedBg] = colour(0x6E96FF, 0.4f);
    c[ImGuiCol_NavCursor] = colour(0xB9D0FF, 1);
    c[ImGuiCol_ModalWindowDimBg] = colour(0x01030A, 0.7f);
}

void setupFontsAndStyle() {
    ImGuiIO& io = ImGui::GetIO();
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard | ImGuiConfigFlags_NavEnableGamepad;
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    loadFonts();
    ImGuiStyle& style = ImGui::GetStyle();
    setStyleSizes(style);
    setStyleColours(style.Colors);
}

} // namespace ui
