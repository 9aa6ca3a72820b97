// The release self-check of the text mode: is the release complete, do its version files agree
// with the launcher, and does its build script run and refuse a file that is no disc image.
#include "selftest/selfcheck.h"

#include "app/app.h"
#include "app/identity.h"
#include "app/options.h"
#include "plat/clock.h"
#include "prep/disc_verdict.h"

#ifdef _WIN32
static const char* const kReleaseIniName = "source\\release.ini";
#else
static const char* const kReleaseIniName = "source/release.ini";
#endif

bool runSelfCheck(const LaunchOptions& opts, std::string& report) {
    auto app = std::make_unique<App>();
    // The release as it is found: an install cut short stays for the next window start to finish
    // or undo, and an accepted file does not become the user's disc.
    app->openRelease(opts.release, OpenFor::Check);
    bool ok = true;
    auto line = [&](const std::string& text) { report += text + "\n"; };
    auto fail = [&](const std::string& text) {
        line("FAIL " + text);
        ok = false;
    };

    line("release " + app->releaseDir);
    line("source version " +
         (app->sourceVersion.empty() ? "(no release.ini)" : app->sourceVersion));
    if (!app->missingItem.empty()) fail("missing " + app->missingItem);
    line("whats_new " + std::to_string(app->whatsNewText.size()) + " bytes for " +
         app->whatsNewVersion);
    if (app->whatsNewText.empty()) fail("CHANGELOG.md has no section for " + app->whatsNewVersion);
    if (app->sourceVersion != kLauncherVersion)
        fail(std::string(kReleaseIniName) + " says " + app->sourceVersion + ", the launcher " +
             kLauncherVersion);

    if (app->missingItem.empty()) {
        app->startDiscCheck(opts.selfCheck);
        double t0 = plat::now();
        bool timedOut = false;
        while (app->checkingDisc) {
            if (plat::now() - t0 >= 120) {
                app->discCheck.kill();
                fail("the disc check did not finish in 120 s");
                timedOut = true;
                break;
            }
            plat::sleepMs(50);
            app->pollDiscCheck();
        }
        if (!timedOut) {
            line("disc check: " + (app->discMessage.empty() ? "accepted" : app->discMessage) +
                 " / " + app->discDetail);
            // The script's own words, not the file's name or folder it quotes, must say so.
            const std::string words = reasonWithoutPath(app->discDetail, app->discUnderCheck);
            if (words.find("not an ISO9660 disc image") == std::string::npos)
                fail("expected qm_build's \"not an ISO9660 disc image\"");
        }
    }
    line(ok ? "self-check OK" : "self-check FAILED");
    return ok;
}
