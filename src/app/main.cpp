// The launcher's entry: read the command line, then run the text mode or the window mode.
#include "app/app.h"
#include "app/frame_loop.h"
#include "app/options.h"
#include "plat/env.h"
#include "plat/fs.h"
#include "plat/window.h"
#include "selftest/selfcheck.h"
#include "selftest/selftest.h"
#include "ui/frame.h"
#include "ui/icon.h"

#include <imgui.h>

#include <cstdio>
#include <memory>

static int runTextMode(const LaunchOptions& opts) {
    std::string report = versionReport();
    bool ok = true;
    if (!opts.selfCheck.empty()) ok = runSelfCheck(opts, report);
    if (opts.report.empty()) {
        fwrite(report.data(), 1, report.size(), stdout);
        fflush(stdout);
    } else if (FILE* f = plat::openFile(opts.report, "wb")) {
        fwrite(report.data(), 1, report.size(), f);
        fclose(f);
    }
    return ok ? 0 : 1;
}

static int runWindowMode(const LaunchOptions& opts, const std::vector<std::string>& args) {
    auto app = std::make_unique<App>();
    app->openRelease(opts.release, OpenFor::Use);
    std::string error;
    if (!openWindow("QM Launcher", 1120, 760, opts.uiScale, error)) {
        plat::errorBox("QM Launcher", error);
        return 1;
    }
    setMinimumWindowSize(int(980 * uiScale), int(700 * uiScale));
    setWindowIcon(ui::drawIcon);
    ImGui::StyleColorsDark();
    ui::setupFontsAndStyle();
    if (!opts.updateUrl.empty()) app->updateUrl = opts.updateUrl;
    if (!opts.downloadPrefix.empty()) app->downloadPrefix = opts.downloadPrefix;
    app->args = args;
    app->updateNowPending = opts.updateNow;
    if (app->settings.update_check) app->updateCheck.start(app->updateUrl, false);

    Selftest selftest;
    if (!opts.selftest.empty()) selftest.setUp(*app, opts);
    runFrameLoop(*app, selftest);
    shutdownWindow();
    selftest.closeLog();
    bool incomplete = selftest.active() && (!selftest.finished() || selftest.failed);
    return incomplete ? 1 : 0;
}

int main(int argc, char** argv) {
    std::vector<std::string> args = plat::commandLineArgs(argc, argv);
    LaunchOptions opts = parseOptions(args, plat::exeDir());
    if (textMode(opts)) return runTextMode(opts);
    return runWindowMode(opts, args);
}
