// The launcher's gamepad build: the launcher itself, whose self-test is played on an SDL virtual
// gamepad in the real window, as a player on the couch would. From the Ready screen of the
// self-test's disc: a shoulder button to Settings, the D-pad and A to a size and then the
// borderless window, B back to Play, What's new opened with A and closed with B. Each stage logs
// the launcher's state and the saved video settings and takes a screenshot, for
// tests/e2e/gamepad_run.py to judge.
//
// Sections: pad steps · the script
#include "app/app.h"
#include "app/settings.h"
#include "selftest/selftest.h"
#include "support/virtual_pad.h"

#include <SDL3/SDL.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <memory>
#include <string>

namespace {

// --- pad steps -----------------------------------------------------------------------------------

VirtualPad pad;

// Logged as a FAIL line; the launcher quits and exits with 1.
void fail(Selftest& st, App& app, const std::string& what) {
    st.log("FAIL %s", what);
    st.failed = true;
    app.quitNow = true;
}

bool focusOn(const char* label) {
    ImGuiWindow* root = ImGui::FindWindowByName("##root");
    return root && GImGui->NavId == root->GetID(label);
}

SelftestStep attachPad(Selftest& st) {
    return {"attach the pad", [&st](App& app, double elapsed) {
                if (elapsed == 0) {
                    std::string error;
                    if (!pad.attach(error)) fail(st, app, "no virtual gamepad: " + error);
                    return false;
                }
                if (ImGui::GetIO().BackendFlags & ImGuiBackendFlags_HasGamepad) {
                    st.note("gamepad connected");
                    return true;
                }
                if (elapsed > 5) fail(st, app, "the launcher never opened the gamepad");
                return false;
            }};
}

// One step call a frame: the button is down for exactly one frame, as a longer hold on a slow
// software-drawn frame would repeat. The third call finds the release drawn.
bool pressPhase(SDL_GamepadButton button, int call) {
    if (call % 3 == 0) pad.set(button, true);
    if (call % 3 == 1) pad.set(button, false);
    return call % 3 == 2;
}

SelftestStep press(SDL_GamepadButton button) {
    auto calls = std::make_shared<int>(0);
    return {"press", [button, calls](App&, double) { return pressPhase(button, (*calls)++); }};
}

// Presses the button until the launcher's focus is on the item, as a player looks for it.
SelftestStep moveTo(Selftest& st, SDL_GamepadButton button, const char* label) {
    auto calls = std::make_shared<int>(0);
    return {std::string("move to ") + label, [&st, button, label, calls](App& app, double) {
                const int call = (*calls)++;
                if (call % 3 == 0 && focusOn(label)) {
                    st.note("focus on %s", label);
                    return true;
                }
                if (call >= 3 * 30) {
                    fail(st, app, std::string("the focus never reached ") + label);
                    return false;
                }
                pressPhase(button, call);
                return false;
            }};
}

bool whatsNewOpen(App&) {
    return ImGui::IsPopupOpen("##whatsnew", ImGuiPopupFlags_AnyPopupId);
}

// Logs what the launcher shows and has saved; fails the run when ok says the stage went wrong.
SelftestStep stage(Selftest& st, const char* name, bool (*ok)(App&)) {
    return {std::string("stage ") + name, [&st, name, ok](App& app, double) {
                VideoSettings saved;
                loadVideoSettings(app.videoIni, saved);
                std::string state = "tab " + std::to_string(app.tab) + ", video.ini " + saved.mode +
                                    " " + std::to_string(saved.width) + " x " +
                                    std::to_string(saved.height);
                if (whatsNewOpen(app)) state += ", what's new open";
                st.note("stage %s: %s", name, state);
                if (!ok(app)) fail(st, app, std::string("stage ") + name);
                return true;
            }};
}

// --- the script ----------------------------------------------------------------------------------

void playWithPad(Selftest& st) {
    // On an X server shared with other windows, the launcher's may not have the keyboard focus;
    // SDL would then keep the pad's buttons from it.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    auto& s = st.steps;
    s.push_back(st.discCheck());
    s.push_back(Selftest::instant(
        "paths", [&st](App& app) { st.note("video settings in %s", app.videoIni); }));
    s.push_back(attachPad(st));
    s.push_back(stage(st, "play", [](App& app) { return app.tab == 0; }));
    s.push_back(st.shot("g1-play", 0.5));

    s.push_back(press(SDL_GAMEPAD_BUTTON_RIGHT_SHOULDER));
    s.push_back(stage(st, "settings", [](App& app) { return app.tab == 1; }));
    s.push_back(st.shot("g2-settings", 0.5));

    // The size list is under the first of the window modes.
    s.push_back(moveTo(st, SDL_GAMEPAD_BUTTON_DPAD_DOWN, "Borderless window##mode2"));
    s.push_back(moveTo(st, SDL_GAMEPAD_BUTTON_DPAD_LEFT, "Windowed##mode0"));
    s.push_back(moveTo(st, SDL_GAMEPAD_BUTTON_DPAD_DOWN, "##resolution"));
    s.push_back(press(SDL_GAMEPAD_BUTTON_SOUTH));
    s.push_back(press(SDL_GAMEPAD_BUTTON_DPAD_DOWN));
    s.push_back(press(SDL_GAMEPAD_BUTTON_SOUTH));
    s.push_back(stage(st, "size", [](App& app) { return app.tab == 1; }));
    s.push_back(st.shot("g3-size", 0.5));

    s.push_back(moveTo(st, SDL_GAMEPAD_BUTTON_DPAD_UP, "Windowed##mode0"));
    s.push_back(moveTo(st, SDL_GAMEPAD_BUTTON_DPAD_RIGHT, "Borderless window##mode2"));
    s.push_back(press(SDL_GAMEPAD_BUTTON_SOUTH));
    s.push_back(stage(st, "borderless", [](App& app) { return app.video.mode == "borderless"; }));
    s.push_back(st.shot("g4-borderless", 0.5));

    s.push_back(press(SDL_GAMEPAD_BUTTON_EAST));
    s.push_back(stage(st, "back", [](App& app) { return app.tab == 0; }));
    s.push_back(st.shot("g5-back", 0.5));

    s.push_back(moveTo(st, SDL_GAMEPAD_BUTTON_DPAD_DOWN, "What's new ›##whatsnew-footer"));
    s.push_back(press(SDL_GAMEPAD_BUTTON_SOUTH));
    s.push_back(stage(st, "whats-new", whatsNewOpen));
    s.push_back(st.shot("g6-whats-new", 0.5));

    s.push_back(press(SDL_GAMEPAD_BUTTON_EAST));
    s.push_back(stage(st, "closed", [](App& app) { return !whatsNewOpen(app); }));
    s.push_back(st.shot("g7-closed", 0.5));

    s.push_back(Selftest::instant("done", [&st](App& app) {
        pad.detach();
        st.note("gamepad done");
        app.quitNow = true;
    }));
}

const bool registered = [] {
    Selftest::testScript = playWithPad;
    return true;
}();

} // namespace
