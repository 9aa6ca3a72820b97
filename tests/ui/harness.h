// Runs the real interface without a display: SDL's dummy video driver supplies the window (so
// the window and desktop sizes are real SDL answers) and Dear ImGui renders into draw lists that
// nobody shows. Input is fed as events, one change per frame, as a user would.
//
// Every frame is checked for the two kinds of programmer error that Dear ImGui reports without
// stopping a release build: recoverable errors (mismatched Begin/End, Push/Pop, …) and items
// that share an identifier. The latter Dear ImGui only notices on the item under the mouse, so
// hoverEveryItem() walks the mouse over every item that Tab reaches.
#pragma once

#include "update/update_check.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <functional>
#include <string>
#include <vector>

struct App;

class Headless {
public:
    // A window of size (1120 × 760 unless given, at scale 1) times scale.
    explicit Headless(float scale, ImVec2 size = ImVec2(1120, 760));
    ~Headless();
    Headless(const Headless&) = delete;
    Headless& operator=(const Headless&) = delete;

    // One frame: background, interface, render, with update as the update check's result.
    void frame(App& app);
    void frames(App& app, int count);
    // One frame that draws only what draw draws (inside a window of its own, if it begins one).
    void run(const std::function<void()>& draw);
    // The texts of the last frame's text items, as ImGui's log captures them.
    const std::string& texts() const { return texts_; }

    void press(App& app, ImGuiKey key);
    void moveMouse(App& app, ImVec2 pos);
    void click(App& app, ImVec2 pos);

    struct Item {
        ImGuiID id;
        ImRect rect;
        std::string window;
    };
    // Presses Tab until the focus comes back to where it started; the items it visited.
    std::vector<Item> tabThrough(App& app);
    // Tabs to the item with this id, in the window that has the focus; false if Tab never got
    // there.
    bool focus(App& app, ImGuiID id);
    // Hovers every item Tab reaches, so that a duplicate identifier cannot go unnoticed.
    void hoverEveryItem(App& app);

    // The id a label gets directly inside the named window.
    static ImGuiID idIn(const char* window, const char* label);
    // The first child region of the named window (the card's scrolling region), or null.
    static ImGuiWindow* childOf(const char* window);
    // The name of the window that has the keyboard focus ("" when none); a region that takes part
    // in its window's navigation (the card's) counts as that window.
    static std::string focusWindow();
    static ImGuiID focusId();

    // Everything that went wrong so far, one line each.
    const std::vector<std::string>& problems() const { return problems_; }

    UpdateCheckResult update;
    double time = 0;

private:
    void check();

    std::string texts_;
    std::vector<std::string> problems_;
    float width_, height_;
};
