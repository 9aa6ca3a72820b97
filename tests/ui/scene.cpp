// Real folders and files for the screens under test · the stand-in opener · the fixture.
#include "ui/scene.h"

#include "ui/sandbox.h"

#include "app/app.h"
#include "plat/clock.h"
#include "plat/desktop.h"
#include "plat/fs.h"
#include "ui/lang.h"
#include "ui/screens.h"

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

void Scene::layOut(App& app, const std::string& root) {
    using plat::joinPath;
    const std::string release = joinPath(root, "release"), user = joinPath(root, "user");
    fs::create_directories(release);
    fs::create_directories(user);
    app.releaseDir = release;
    app.sourceDir = joinPath(release, "source");
    app.buildDir = joinPath(release, "build");
    app.buildLogsDir = joinPath(app.buildDir, "logs");
    app.gameDir = joinPath(release, "game");
    app.gameExe = joinPath(app.gameDir, "qm");
    app.gameElf = joinPath(app.gameDir, "SQMU_404.20");
    app.discIso = joinPath(app.gameDir, "disc.iso");
    app.userDir = user;
    app.launcherIni = joinPath(user, "launcher.ini");
    app.videoIni = joinPath(user, "video.ini");
    app.logsDir = joinPath(user, "logs");
    app.crashesDir = joinPath(user, "crashes");
}

void Scene::acceptDisc(App& app) {
    const std::string discs = plat::joinPath(plat::parentDir(app.releaseDir), "discs");
    fs::create_directories(discs);
    app.settings.disc = plat::joinPath(discs, "Quillmere (USA).iso");
    TempDir::writeTo(app.settings.disc, "an image");
    app.screen = Screen::Ready;
    app.tab = 0;
}

void Scene::buildGame(App& app, const std::string& program) {
    fs::create_directories(app.gameDir);
    TempDir::writeTo(app.gameExe, program);
    fs::permissions(app.gameExe, fs::perms::owner_all);
    TempDir::writeTo(app.gameElf, "main program");
    app.settings.built = true;
    app.sourceCommit = app.builtFromCommit = "4b825dc642cb6eb9a060e54bf8d69288fbee4904";
}

void Scene::writeBuildLog(App& app, const std::string& step, const std::string& text) {
    fs::create_directories(app.buildLogsDir);
    if (!step.empty()) TempDir::writeTo(plat::joinPath(app.buildLogsDir, step + ".log"), text);
}

// --- the stand-in opener -------------------------------------------------------------------------

static std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

void forgetOpened() {
    fs::remove(fakeDesktopDir() + "/opened");
}

std::vector<std::string> waitForOpened(size_t count) {
    const std::string log = fakeDesktopDir() + "/opened";
    for (int i = 0; i < 1000; ++i) {
        std::vector<std::string> got = lines(readBytes(log));
        if (got.size() >= count) return got;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return lines(readBytes(log));
}

std::string fileAddress(const std::string& path) {
    return plat::fileUrl(path);
}

// --- the fixture ---------------------------------------------------------------------------------

void UiScene::SetUp() {
    ui::french = false;
    ui::copiedAt = -10;
    Scene::layOut(app, dir.path());
    setDialogAnswer("", 1);
    forgetOpened();
}

void UiScene::TearDown() {
    ui::french = false;
    EXPECT_TRUE(ui.problems().empty()) << ::testing::PrintToString(ui.problems());
}

std::set<ImGuiID> UiScene::reachable() {
    std::set<ImGuiID> ids;
    for (const Headless::Item& item : ui.tabThrough(app))
        ids.insert(item.id);
    return ids;
}

void UiScene::operate(const char* label, ImGuiKey key) {
    ASSERT_TRUE(ui.focus(app, root(label))) << label;
    ui.press(app, key);
}

bool UiScene::settle(const std::function<bool()>& done) {
    const double guard = plat::now() + 60;
    while (!done()) {
        if (plat::now() > guard) return false;
        plat::sleepMs(10);
        app.pollDiscCheck();
        app.pollBuild();
        app.pollUpdate();
        app.pollGame();
    }
    return true;
}
