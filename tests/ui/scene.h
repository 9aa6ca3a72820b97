// A launcher in real temporary folders, for the tests that draw the Play tab, the panels and the
// Maintenance tab: the release and user paths laid out as the launcher lays them out, and the
// files those screens look at (the accepted disc image, the built game, logs) made on request.
#pragma once

#include "support/temp_dir.h"
#include "ui/harness.h"

#include "app/app.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

struct Scene {
    // Release folder root/release and user folder root/user, both created empty; every path of
    // the App inside them as the launcher names them. The settings files are the user folder's.
    static void layOut(App& app, const std::string& root);
    // An accepted disc image that exists; the Ready screen on the Play tab.
    static void acceptDisc(App& app);
    // The built game's program and main file, built from the release's own commit (no rebuild
    // due). program is the game's program text: a shell script, so that it can really run.
    static void buildGame(App& app, const std::string& program = "#!/bin/sh\nexit 0\n");
    // The build logs folder, with one log for step (none when step is empty).
    static void writeBuildLog(App& app, const std::string& step, const std::string& text);
};

// Forgets what the stand-in opener was given so far.
void forgetOpened();
// Waits (within a generous bound) until the stand-in opener has been given count addresses.
std::vector<std::string> waitForOpened(size_t count);
// The address the opener gets for an existing local path.
std::string fileAddress(const std::string& path);

// --- the fixture
// -----------------------------------------------------------------------------------

// One App in its own folders on the Ready screen's side of the launcher, drawn headless at scale 1.
class UiScene : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static ImGuiID root(const char* label) { return Headless::idIn("##root", label); }
    // The items Tab reaches (disabled ones are not among them).
    std::set<ImGuiID> reachable();
    bool has(const std::string& text) const { return ui.texts().find(text) != std::string::npos; }
    // Tabs to the item and presses key on it.
    void operate(const char* label, ImGuiKey key = ImGuiKey_Enter);
    // Polls the App's work as the frame loop does until done() holds (false after a generous
    // bound, so that a broken run fails instead of hanging).
    bool settle(const std::function<bool()>& done);

    TempDir dir;
    App app;
    Headless ui{1.0f};
};
