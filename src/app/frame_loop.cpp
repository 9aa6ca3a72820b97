// The paced frame loop: advance every piece of work by a non-blocking poll, run the self-test's
// step, then draw the interface, at most 60 frames a second; while the picture stays the same,
// wait for events instead, still polling ten times a second.
#include "app/frame_loop.h"

#include "app/app.h"
#include "plat/clock.h"
#include "plat/window.h"
#include "selftest/selftest.h"
#include "ui/frame.h"

void runFrameLoop(App& app, Selftest& selftest) {
    const double t0 = plat::now();
    for (;;) {
        if (app.quitNow) {
            if (app.building) app.stopBuild();
            break;
        }
        if (pollEvents()) {
            if (app.building)
                app.quitAsked = true;
            else if (app.installState != 2)
                break;
        }
        app.frameTime = plat::now() - t0;
        app.pollDiscCheck();
        app.pollBuild();
        app.pollUpdate();
        app.updateNowStep();
        app.pollGame();
        if (selftest.active() && !selftest.finished()) selftest.step(app);
        if (app.gameOwnsScreen) {
            // Hidden while the game runs: poll about ten times a second, draw nothing.
            waitEvents(0.1);
            continue;
        }
        beginFrame();
        ui::drawBackground(app.frameTime, app.settings.motion);
        ui::drawFrame(app);
        endFrame(app);
        app.screenshotPath.clear();
        if (pictureSettled()) {
            // The next poll comes no later than 100 ms after this one began.
            const double left = 0.1 - (plat::now() - t0 - app.frameTime);
            if (left > 0) waitEvents(left);
        }
    }
}
