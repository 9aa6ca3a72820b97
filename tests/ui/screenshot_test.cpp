// Real frames in the launcher's own window (OpenGL, under Xvfb in the test runs), saved through
// its screenshot path into <build>/screenshots for people to look at, and read back.
#include "support/png_read.h"
#include "support/temp_dir.h"
#include "ui/card_states.h"
#include "ui/scene.h"

#include "app/app.h"
#include "plat/backdrop.h"
#include "plat/clock.h"
#include "plat/env.h"
#include "plat/fs.h"
#include "plat/window.h"
#include "ui/frame.h"
#include "ui/lang.h"

#include <SDL3/SDL.h>
#include <gtest/gtest.h>
#include <imgui.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

namespace {

const char* const kChangelog =
    "### Added\n"
    "- **Rebuild** only builds what changed since the last build.\n"
    "- The Settings tab offers the window size the game opens with, including the monitor's own\n"
    "  size for a borderless window.\n"
    "\n"
    "### Fixed\n"
    "- A disc image on a network drive is no longer refused as `damaged`.\n"
    "- The launcher comes back in front when the game closes.\n";

struct Shot {
    const char* name;
    std::function<void(App&)> set;
};

std::string shotsDir() {
    return plat::joinPath(plat::parentDir(QM_BIN_DIR), "screenshots");
}

bool haveDisplay() {
    return !plat::getEnv("DISPLAY").empty() || !plat::getEnv("WAYLAND_DISPLAY").empty();
}

// The update check's result that the shots show (the real check never runs here).
UpdateCheckResult shotUpdate;

void drawOnce(App& app, double time) {
    pollEvents();
    app.frameTime = time;
    beginFrame();
    ui::drawBackground(app.frameTime, app.settings.motion);
    ui::drawFrame(app, shotUpdate);
    endFrame(app);
    app.screenshotPath.clear();
}

// Opens the window, takes every shot (a few frames to settle, then one captured frame) and
// returns the window's size in pixels.
ImVec2 takeShots(App& app, float scale, const std::vector<Shot>& shots) {
    std::string error;
    EXPECT_TRUE(openWindow("QM Launcher", 1120, 760, scale, error)) << error;
    if (!mainWindow) return {};
    ImGui::StyleColorsDark();
    ui::setupFontsAndStyle();
    double time = 0;
    for (const Shot& shot : shots) {
        shotUpdate = {};
        shot.set(app);
        for (int i = 0; i < 12; ++i)
            drawOnce(app, time += 1.0 / 60);
        app.screenshotPath = plat::joinPath(shotsDir(), std::string(shot.name) + ".png");
        drawOnce(app, time += 1.0 / 60);
    }
    int w = 0, h = 0;
    SDL_GetWindowSizeInPixels(mainWindow, &w, &h);
    shutdownWindow();
    ui::french = false;
    return ImVec2(float(w), float(h));
}

// A picture with the background's gradient, light text and more than a handful of colours.
void expectAPicture(const std::string& name, ImVec2 size) {
    SCOPED_TRACE(name);
    const PngImage img = readStoredPng(plat::joinPath(shotsDir(), name + ".png"));
    ASSERT_TRUE(img.ok);
    EXPECT_EQ(img.width, unsigned(size.x));
    EXPECT_EQ(img.height, unsigned(size.y));
    std::set<uint32_t> colours;
    size_t light = 0;
    for (unsigned y = 0; y < img.height; y += 2)
        for (unsigned x = 0; x < img.width; x += 2) {
            const unsigned char* p = img.at(x, y);
            colours.insert(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
            if (p[0] > 200 && p[1] > 200 && p[2] > 200) ++light;
        }
    EXPECT_GT(colours.size(), 200u);
    EXPECT_GT(light, 200u) << "light text";
}

size_t differingPixels(const std::string& a, const std::string& b) {
    const PngImage x = readStoredPng(plat::joinPath(shotsDir(), a + ".png"));
    const PngImage y = readStoredPng(plat::joinPath(shotsDir(), b + ".png"));
    if (!x.ok || !y.ok || x.pixels.size() != y.pixels.size()) return 0;
    size_t n = 0;
    for (size_t i = 0; i < x.pixels.size(); i += x.channels)
        if (std::memcmp(&x.pixels[i], &y.pixels[i], x.channels) != 0) ++n;
    return n;
}

// A build 700 s in, in its sixth step; the elapsed time it shows counts from this call.
void showPreparing(App& a) {
    a.installState = 0;
    a.screen = Screen::Preparing;
    a.building = true;
    BuildProgress& p = a.progress;
    p.reset(plat::now() - 700);
    const StepState states[] = {StepState::Skipped, StepState::Done,    StepState::Done,
                                StepState::Done,    StepState::Skipped, StepState::Running,
                                StepState::Pending, StepState::Pending};
    for (size_t i = 0; i < p.steps.size(); ++i)
        p.steps[i].state = states[i];
    p.steps[2].seconds = 75;
    p.steps[3].seconds = 3725;
    p.steps[5].percent = 37;
    p.steps[5].startedAt = plat::now() - 400;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class UiScreenshots : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveDisplay()) GTEST_SKIP() << "no display (the test runs use Xvfb)";
        std::filesystem::create_directories(shotsDir());
        app.launcherIni = user.file("launcher.ini");
        app.videoIni = user.file("video.ini");
        app.releaseDir = user.path();
        app.settings.motion = false; // the same picture at any time
        app.whatsNewText = kChangelog;
        app.whatsNewVersion = "0.6.1";
    }
    TempDir user;
    App app;
};

TEST_F(UiScreenshots, MainScreensInBothLanguages) {
    const std::vector<Shot> shots = {
        {"welcome-en", [](App&) {}},
        {"welcome-fr", [](App&) { ui::french = true; }},
        {"settings",
         [](App& a) {
             ui::french = false;
             a.screen = Screen::Ready;
             a.tab = 1;
             a.video.exists = true;
         }},
        {"refused",
         [](App& a) {
             a.screen = Screen::NoDisc;
             a.tab = 0;
             a.discMessage = "This is the European disc. Only the USA disc (SQMU-40420) is "
                             "supported.";
             a.discDetail = "the disc's serial is SLES-50321, the European release";
         }},
        {"whats-new", [](App& a) { a.showWhatsNew = true; }},
    };
    const ImVec2 size = takeShots(app, 1.0f, shots);
    EXPECT_EQ(size.x, 1120);
    EXPECT_EQ(size.y, 760);
    for (const Shot& shot : shots)
        expectAPicture(shot.name, size);
    EXPECT_GT(differingPixels("welcome-en", "welcome-fr"), 2000u) << "the texts changed language";
}

TEST_F(UiScreenshots, ScaledWindowKeepsItsSize) {
    const std::vector<Shot> shots = {{"settings-x2", [](App& a) {
                                          a.screen = Screen::Ready;
                                          a.tab = 1;
                                          a.video.mode = "borderless";
                                      }}};
    const ImVec2 size = takeShots(app, 2.0f, shots);
    EXPECT_GT(size.x, 1120);
    expectAPicture("settings-x2", size);
}

// The Play tab's blocks, the two panels and the Maintenance tab, in states with their longest
// texts, to be looked at for overlaps at the design size.
TEST_F(UiScreenshots, CardScreensAtTheDesignSize) {
    Scene::layOut(app, user.path());
    Scene::acceptDisc(app);
    Scene::buildGame(app);
    const std::vector<Shot> shots = {
        {"play-ready",
         [](App& a) {
             a.statusMessage = "The game is ready. Prepared in 14:07.";
             a.statusColour = 0x4FE0A3;
             a.gameFailed = true;
             a.gameExitCode = -1073741819;
         }},
        {"play-update",
         [](App& a) {
             ui::french = true;
             a.statusMessage.clear();
             a.gameFailed = false;
             shotUpdate = newerRelease();
             a.installState = 4;
             a.installError = "Le téléchargement a échoué : HTTP 404.";
         }},
        {"play-downloading",
         [](App& a) {
             ui::french = false;
             a.installState = 1;
             a.installVersion = "0.7.0";
             a.installGot = 52'600'000;
             a.installTotal = 131'000'000;
         }},
        {"preparing", showPreparing},
        {"failure-fr",
         [](App& a) {
             ui::french = true;
             a.building = false;
             a.screen = Screen::Failed;
             a.progress.failedStep = "compile";
             a.progress.error = "ninja: build stopped: subcommand failed. (voir compile.log, "
                                "ligne 4127 : error: C:\\Jeux\\Quillmere\\build\\gen\\"
                                "func_0042a1c0.c: No space left on device)";
         }},
        {"play-pending",
         [](App& a) {
             ui::french = false;
             a.screen = Screen::Ready;
             a.settings.build_pending = true;
             a.statusMessage = "Stopped. Preparing continues from there next time.";
             a.statusColour = 0xFFC35C;
             a.discMessage = "This disc image is another game.";
             a.discDetail = "SLUS-20001 boots another game";
         }},
        {"play-rebuild-fr",
         [](App& a) {
             ui::french = true;
             a.settings.build_pending = false;
             a.statusMessage.clear();
             a.discMessage.clear();
             a.sourceVersion = "0.7.0";
             a.sourceCommit = "9f3c1e0";
         }},
        {"maintenance",
         [](App& a) {
             ui::french = false;
             a.screen = Screen::Ready;
             a.tab = 2;
             a.userDir = "/home/ann/.local/share/ZO_Duzoru";
             shotUpdate = newerRelease();
         }},
    };
    const ImVec2 size = takeShots(app, 1.0f, shots);
    EXPECT_EQ(size.x, 1120);
    EXPECT_EQ(size.y, 760);
    for (const Shot& shot : shots)
        expectAPicture(shot.name, size);
}

// Each screen saved twice in one window at one frame time: the new way, after frames that left the
// picture on screen unchanged and with the background's still layers copied from where they were
// kept, and the old way, with every frame drawn in full and presented. The files must be the same
// byte for byte, at both scales, in both languages, with the motion on and off, after the window
// was hidden and shown again, and after it changed its size. One scale a process: the launcher
// opens its window once, and a second window in one process crashed in ImGui's OpenGL loader under
// AddressSanitizer.
class UiSkippedFrames : public UiScreenshots, public ::testing::WithParamInterface<float> {};

TEST_P(UiSkippedFrames, ChangeNoPixel) {
    Scene::layOut(app, user.path());
    Scene::acceptDisc(app);
    Scene::buildGame(app);
    const std::vector<Shot> screens = {
        {"welcome", [](App& a) { a.screen = Screen::NoDisc; }},
        {"ready", [](App& a) { a.screen = Screen::Ready; }},
        {"preparing", showPreparing},
        {"settings",
         [](App& a) {
             a.building = false;
             a.screen = Screen::Ready;
             a.tab = 1;
         }},
        {"whats-new", [](App& a) { a.showWhatsNew = true; }},
    };
    const std::string dir = plat::joinPath(shotsDir(), "same");
    std::filesystem::create_directories(dir);
    const int settle = 4; // enough for the new way to stop presenting
    auto shoot = [&](const Shot& screen, bool everyFrame, const std::string& path) {
        setPresentEveryFrame(everyFrame);
        for (int i = 0; i < settle; ++i)
            drawOnce(app, 12.5);
        screen.set(app); // the timed texts count from here, for both shots alike
        app.screenshotPath = path;
        drawOnce(app, 12.5);
    };
    uint64_t newWayFrames = 0, newWayPresents = 0, newWayCopies = 0;
    auto compareWays = [&](const Shot& screen, const std::string& name) {
        SCOPED_TRACE(name);
        screen.set(app);
        const std::string skipped = plat::joinPath(dir, name + "-skipped.png");
        const std::string every = plat::joinPath(dir, name + "-every.png");
        const uint64_t before = presentedFrames();
        shoot(screen, false, skipped);
        newWayFrames += settle + 1;
        newWayPresents += presentedFrames() - before;
        const uint64_t presented = presentedFrames(), copied = plat::backdropCopies();
        EXPECT_GT(copied, newWayCopies) << "the new way copies the still layers";
        newWayCopies = copied;
        shoot(screen, true, every);
        EXPECT_EQ(presentedFrames() - presented, uint64_t(settle + 1))
            << "the old way presents all";
        EXPECT_EQ(plat::backdropCopies(), copied) << "the old way draws all";
        const std::string a = fileBytes(skipped), b = fileBytes(every);
        EXPECT_GT(a.size(), 1000u);
        EXPECT_TRUE(a == b) << "the pictures differ";
    };
    const float scale = GetParam();
    const std::string x = "-x" + std::to_string(int(scale));
    std::string error;
    ASSERT_TRUE(openWindow("QM Launcher", 1120, 760, scale, error)) << error;
    ImGui::StyleColorsDark();
    ui::setupFontsAndStyle();
    for (bool motion : {false, true})
        for (bool french : {false, true}) {
            app.settings.motion = motion;
            ui::french = french;
            app.tab = 0;
            app.showWhatsNew = false;
            for (const Shot& screen : screens)
                compareWays(screen,
                            screen.name + x + (french ? "-fr" : "-en") + (motion ? "-motion" : ""));
        }
    // The comparison means something only if the new way really left frames out.
    EXPECT_LT(newWayPresents, newWayFrames * 3 / 4);
    // Hidden while a game runs, the window lets its layer go and makes it again when shown.
    hideMainWindow();
    showMainWindow();
    ui::french = false;
    compareWays(screens[0], screens[0].name + x + "-en-motion-shown-again");
    // A window of another size gets still layers of its size.
    int w = 0, h = 0;
    SDL_GetWindowSize(mainWindow, &w, &h);
    SDL_SetWindowSize(mainWindow, w - 130, h - 70);
    SDL_SyncWindow(mainWindow);
    ui::french = false;
    compareWays(screens[0], screens[0].name + x + "-en-motion-resized");
    int sized = 0;
    SDL_GetWindowSize(mainWindow, &sized, &h);
    EXPECT_EQ(sized, w - 130) << "the window took its new size";
    setPresentEveryFrame(false);
    shutdownWindow();
}

INSTANTIATE_TEST_SUITE_P(Scales, UiSkippedFrames, ::testing::Values(1.0f, 2.0f),
                         [](const ::testing::TestParamInfo<float>& info) {
                             return "x" + std::to_string(int(info.param));
                         });

} // namespace
