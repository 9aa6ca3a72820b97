// A hostile release host, met through the launcher's own update code: the update check
// (UpdateCheck) and the download and install (App::startUpdate and App::pollUpdate, as the frame
// loop drives them). Every case ends in its own error text, leaves no partial archive and
// installs nothing; the launcher stays usable.
//
// Sections: the fixture · the update check · the download · TLS
#include "app/app.h"
#include "plat/clock.h"
#include "plat/http.h"
#include "support/temp_dir.h"
#include "update/host_support.h"
#include "update/install.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using namespace qmupdate;

namespace {

// --- the fixture ---------------------------------------------------------------------------------

// A release 0.6.1 with its installer, and 0.7.0 published from it for the stand-in host.
class HostileHost : public ::testing::Test {
protected:
    void SetUp() override {
        release = dir.file("release");
        makeOldRelease(release);
        ASSERT_EQ(
            0, runToEnd(kPython, {repoFile("fixtures/publish_070.py"), release, dir.file("host")})
                   .exitCode);
        before = treeOf(release);
    }
    void TearDown() override { plat::setHttpTestCaFile(""); }

    // An App pointed at host, as the command-line options would point it.
    std::unique_ptr<App> appFor(ReleaseHost& host) {
        auto app = std::make_unique<App>();
        app->releaseDir = release;
        app->sourceDir = release + "/source";
        app->pythonExe = kPython;
        app->restartProgram = "/bin/true";
        app->updateUrl = host.base() + kLatestPath;
        app->downloadPrefix = host.base() + kDownloadPath;
        return app;
    }

    UpdateCheckResult check(App& app) {
        app.updateCheck.start(app.updateUrl, true);
        const double guard = plat::now() + 120;
        UpdateCheckResult r = app.updateCheck.snapshot();
        while (r.state == 1 && plat::now() < guard) {
            plat::sleepMs(10);
            r = app.updateCheck.snapshot();
        }
        return r;
    }

    // Runs the frame loop's update step until the download and install have ended; stop, when
    // given, is pressed once the first bytes have arrived.
    int32_t update(App& app, bool pressStop = false) {
        app.startUpdate("v0.7.0", "0.7.0");
        const double guard = plat::now() + 120;
        while ((app.installState == 1 || app.installState == 2) && plat::now() < guard) {
            if (pressStop && app.installGot > 0) app.installStop = true;
            app.pollUpdate();
            plat::sleepMs(10);
        }
        return app.installState;
    }

    void expectNothingInstalled() {
        EXPECT_EQ(before, treeOf(release));
        EXPECT_FALSE(fs::exists(release + "/update/" + releaseAssetName("0.7.0")));
        EXPECT_FALSE(fs::exists(release + "/update/staging"));
    }

    TempDir dir;
    std::string release;
    std::map<std::string, std::string> before;
};

struct CheckCase {
    const char* name;
    std::string fault; // on the latest-release query; empty: the answer below
    std::string body;
    std::string error; // the start of the check's error
};

// --- the update check ----------------------------------------------------------------------------

TEST_F(HostileHost, TheUpdateCheckFailsWithItsOwnWordsAndNothingElseHappens) {
    ReleaseHost host({"--releases", dir.file("host")});
    ASSERT_TRUE(host.started());
    auto tagged = [](const std::string& tag) { return "{\"tag_name\": \"" + tag + "\"}"; };
    const CheckCase cases[] = {
        {"redirect loop", "redirect-loop", "", "Maximum (10) redirects followed"},
        {"chunked body closed early", "chunked-cut", "",
         "transfer closed with outstanding read data remaining"},
        {"length larger than sent", "overlong", "", "transfer closed with 3221"},
        {"body of 1 MiB + 1 byte", "big", "", "response too large"},
        {"accepts and never answers", "mute", "",
         "Timeout was reached: nothing received for 8 seconds"},
        {"tag with a control character", "", tagged("v0.7.0\x01"), "HTTP 200"},
        {"tag with a line feed", "", tagged("v0.7.0\ndone 0.7.0"), "HTTP 200"},
        {"tag with an escape sequence", "", tagged("\x1b[31mv0.7.0"), "HTTP 200"},
        {"tag with a tab", "", tagged("v0.7.0\t"), "HTTP 200"},
        {"tag with DEL", "", tagged("v0.7.0\x7f"), "HTTP 200"},
    };
    auto app = appFor(host);
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        host.clearFaults();
        host.control("latest", "reset=1");
        if (!c.fault.empty())
            host.fault(c.fault, "/releases/latest");
        else
            host.latest(200, c.body);
        const UpdateCheckResult r = check(*app);
        EXPECT_EQ(4, r.state);
        EXPECT_EQ(0u, r.error.rfind(c.error, 0)) << r.error;
        EXPECT_TRUE(r.tag.empty()) << r.tag;
        EXPECT_EQ(0, app->installState);
        expectNothingInstalled();
    }
    // Still usable: the same host, healthy again, offers 0.7.0.
    host.clearFaults();
    host.control("latest", "reset=1");
    EXPECT_EQ(3, check(*app).state);
}

// --- the download --------------------------------------------------------------------------------

TEST_F(HostileHost, TheDownloadFailsWithItsOwnWordsAndInstallsNothing) {
    ReleaseHost host({"--releases", dir.file("host")});
    ASSERT_TRUE(host.started());
    struct Case {
        const char* name;
        const char* fault;
        const char* match;
        std::string error;
        int32_t state;
        bool stop = false;
    };
    const Case cases[] = {
        {"redirect loop", "redirect-loop", "\\.zip$",
         "The download failed: Maximum (10) redirects followed.", 4},
        {"chunked body closed early", "chunked-cut", "\\.zip$",
         "The download failed: transfer closed with outstanding read data remaining.", 4},
        {"length larger than sent", "truncated", "\\.zip$",
         "The download failed: transfer closed with ", 4},
        {"length over the limit", "overlong", "\\.sha256$",
         "The download failed: download too large.", 4},
        {"one byte a second, stopped", "drip", "\\.zip$", "The download failed: stopped.", 0, true},
    };
    auto app = appFor(host);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.clearFaults();
        host.fault(c.fault, c.match);
        EXPECT_EQ(c.state, update(*app, c.stop));
        EXPECT_EQ(0u, app->installError.rfind(c.error, 0)) << app->installError;
        EXPECT_FALSE(app->quitNow);
        expectNothingInstalled();
    }
    host.clearFaults();
    EXPECT_EQ(3, update(*app)) << app->installError;
}

// Stop is watched apart from the bytes: it ends the download within a second even when nothing
// arrives, where it would otherwise wait for the next byte or the 30 s receive time-out.
TEST_F(HostileHost, StopEndsTheDownloadWithinSecondsWhateverTheHostDoes) {
    ReleaseHost host({"--releases", dir.file("host")});
    ASSERT_TRUE(host.started());
    struct Case {
        const char* name;
        const char* fault;
        std::string file; // the file whose request meets the fault: ".zip" or ".sha256"
        bool bytesFirst;  // pressed once bytes arrived, else once the host holds the request
    };
    const Case cases[] = {
        {"one byte a second", "drip", ".zip", true},
        {"silent after its first bytes", "stall", ".zip", true},
        {"never answers the archive", "mute", ".zip", false},
        {"never answers the checksum", "mute", ".sha256", false},
    };
    auto app = appFor(host);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.clearFaults();
        host.fault(c.fault, "\\" + c.file + "$");
        host.control("log", "clear=1");
        app->startUpdate("v0.7.0", "0.7.0");
        auto reached = [&] {
            if (c.bytesFirst) return app->installGot > 0;
            const std::vector<std::string> paths = host.log();
            return !paths.empty() && paths.back().size() > c.file.size() &&
                   paths.back().substr(paths.back().size() - c.file.size()) == c.file;
        };
        const double guard = plat::now() + 60;
        while (!reached() && plat::now() < guard) {
            app->pollUpdate();
            plat::sleepMs(20);
        }
        ASSERT_TRUE(reached());
        ASSERT_EQ(1, app->installState);

        const double pressed = plat::now();
        app->installStop = true;
        while (app->installState == 1 && plat::now() < pressed + 60) {
            app->pollUpdate();
            plat::sleepMs(10);
        }
        EXPECT_LT(plat::now() - pressed, 5.0);
        EXPECT_EQ(0, app->installState) << app->installError;
        expectNothingInstalled();
        if (c.file == ".sha256") {
            EXPECT_FALSE(fs::exists(release + "/update/" + releaseAssetName("0.7.0") + ".sha256"));
        }
    }
}

TEST_F(HostileHost, ClosingTheLauncherDuringADrippingDownloadLeavesNoFile) {
    ReleaseHost host({"--releases", dir.file("host"), "--fault", "drip@\\.zip$"});
    ASSERT_TRUE(host.started());
    {
        auto app = appFor(host);
        app->startUpdate("v0.7.0", "0.7.0");
        const double guard = plat::now() + 60;
        while (app->installGot == 0 && plat::now() < guard) {
            app->pollUpdate();
            plat::sleepMs(10);
        }
        ASSERT_GT(app->installGot.load(), 0u);
    } // the App's end stops the download
    expectNothingInstalled();
}

// --- TLS -----------------------------------------------------------------------------------------

// A certificate for 127.0.0.1 whose validity ended before it began.
bool makeExpiredCertificate(const std::string& folder, std::string& cert, std::string& key) {
    cert = folder + "/expired.pem";
    key = folder + "/expired-key.pem";
    const std::string request = folder + "/expired.csr", ext = folder + "/ext.cnf";
    putFile(ext, "subjectAltName=IP:127.0.0.1\n");
    if (runToEnd("/usr/bin/openssl", {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                                      "-out", request, "-subj", "/CN=qm-test"})
            .exitCode != 0)
        return false;
    return runToEnd("/usr/bin/openssl", {"x509", "-req", "-in", request, "-signkey", key, "-days",
                                         "-1", "-extfile", ext, "-out", cert})
               .exitCode == 0;
}

TEST_F(HostileHost, CertificatesThatDoNotHoldAreRefused) {
    TempDir certs;
    struct Case {
        const char* name;
        std::string san; // empty: the expired certificate
        bool trusted;
        std::string words; // part of the check's error
        bool redirectToHttp = false;
    };
    const Case cases[] = {
        {"self-signed, not trusted", "IP:127.0.0.1", false, "self-signed certificate"},
        {"for another host", "DNS:other.invalid", true, "'127.0.0.1'"},
        {"expired", "", true, "certificate has expired"},
        {"redirect from https to http", "IP:127.0.0.1", true, "http", true},
    };
    ReleaseHost plain({"--releases", dir.file("host")});
    ASSERT_TRUE(plain.started());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = certs.file(c.name);
        fs::create_directories(folder);
        std::string cert, key;
        ASSERT_TRUE(c.san.empty() ? makeExpiredCertificate(folder, cert, key)
                                  : makeCertificate(folder, c.san, cert, key));
        std::vector<std::string> options = {"--releases", dir.file("host"), "--https", cert, key};
        if (c.redirectToHttp)
            options.insert(options.end(),
                           {"--fault", "redirect-http", "--redirect-to", plain.base()});
        ReleaseHost host(options, true);
        ASSERT_TRUE(host.started());
        plat::setHttpTestCaFile(c.trusted ? cert : "");
        auto app = appFor(host);
        const UpdateCheckResult r = check(*app);
        EXPECT_EQ(4, r.state);
        EXPECT_NE(std::string::npos, r.error.find(c.words)) << r.error;
        EXPECT_EQ(4, update(*app));
        EXPECT_EQ(0u, app->installError.rfind("The download failed: ", 0)) << app->installError;
        expectNothingInstalled();
        plat::setHttpTestCaFile("");
    }
    EXPECT_TRUE(plain.log().empty()) << "an https answer led to a plain http request";
}

} // namespace
