// The HTTP client against a real server on 127.0.0.1 (fixtures/release_host.py):
// addresses · status and body · size limits · downloads · network failures · redirects · TLS ·
// without libcurl.
#include "plat/http.h"
#include "support/temp_dir.h"
#include "update/host_support.h"

#include "plat/clock.h"
#include "plat/env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

using namespace qmupdate;

namespace {

const std::string kAgent = "QM-Launcher/0.6.1";

struct Download {
    bool ok = false;
    std::string err;
    unsigned long long got = 0, total = 0;
};

Download download(const std::string& url, const std::string& path,
                  unsigned long long maxBytes = 1 << 30) {
    std::atomic<unsigned long long> got{99}, total{99};
    std::atomic<bool> stop{false};
    Download d;
    d.ok = plat::httpDownload(url, kAgent, path, got, total, stop, d.err, maxBytes);
    d.got = got;
    d.total = total;
    return d;
}

std::string pattern(size_t n) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i)
        bytes += char(i % 256);
    return bytes;
}

// --- addresses -----------------------------------------------------------------------------------

TEST(Http, AddressesThatAreNotHttpAreRefusedBeforeAnythingIsSent) {
    ReleaseHost host;
    ASSERT_TRUE(host.started());
    const std::string port = std::to_string(host.port());
    TempDir dir;
    const std::vector<std::string> urls = {"ftp://127.0.0.1:" + port + "/bytes/3",
                                           "127.0.0.1:" + port + "/bytes/3",
                                           "//127.0.0.1:" + port + "/bytes/3",
                                           "http://",
                                           "",
                                           "file:///etc/passwd"};
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        std::string body = "old", err;
        long status = 7;
        EXPECT_FALSE(plat::httpGet(url, kAgent, body, status, err, 100));
        EXPECT_EQ("bad URL", err);
        EXPECT_EQ(0, status);
        EXPECT_EQ("", body);
        Download d = download(url, dir.file("x"));
        EXPECT_FALSE(d.ok);
        EXPECT_EQ("bad URL", d.err);
        EXPECT_FALSE(std::filesystem::exists(dir.file("x")));
    }
    EXPECT_TRUE(host.log().empty());
}

// --- status and body -----------------------------------------------------------------------------

TEST(Http, AnErrorStatusIsAnAnswerWithItsBody) {
    ReleaseHost host;
    ASSERT_TRUE(host.started());
    std::string body, err;
    long status = 0;
    ASSERT_TRUE(plat::httpGet(host.base() + "/status/404", kAgent, body, status, err, 1000));
    EXPECT_EQ(404, status);
    EXPECT_EQ("status 404\n", body);
}

TEST(Http, EachCallSendsItsOwnHeaderLines) {
    ReleaseHost host;
    ASSERT_TRUE(host.started());
    std::string body, err;
    long status = 0;
    ASSERT_TRUE(plat::httpGet(host.base() + "/headers", kAgent, body, status, err, 10000)) << err;
    EXPECT_NE(std::string::npos, body.find("User-Agent: QM-Launcher/0.6.1\n")) << body;
    EXPECT_NE(std::string::npos, body.find("Accept: application/vnd.github+json\n")) << body;
    EXPECT_NE(std::string::npos, body.find("X-GitHub-Api-Version: 2022-11-28\n")) << body;

    TempDir dir;
    ASSERT_TRUE(download(host.base() + "/headers", dir.file("h")).ok);
    body = readBytes(dir.file("h"));
    EXPECT_NE(std::string::npos, body.find("Accept: application/octet-stream\n")) << body;
    EXPECT_EQ(std::string::npos, body.find("X-GitHub-Api-Version")) << body;
}

// --- size limits ---------------------------------------------------------------------------------

TEST(Http, SizeLimitsCountWhatArrivesHoweverItIsFramed) {
    ReleaseHost host;
    ASSERT_TRUE(host.started());
    TempDir dir;
    const unsigned long long limit = 300000; // spans several chunks
    for (const char* mode : {"plain", "nolength", "chunked"}) {
        for (unsigned long long size : {limit, limit + 1}) {
            SCOPED_TRACE(std::string(mode) + " " + std::to_string(size));
            const std::string url =
                host.base() + "/bytes/" + std::to_string(size) + "?mode=" + mode;
            const bool fits = size <= limit;

            std::string body, err;
            long status = 0;
            EXPECT_EQ(fits, plat::httpGet(url, kAgent, body, status, err, limit));
            EXPECT_EQ(fits ? "" : "response too large", err);
            if (fits) {
                EXPECT_EQ(pattern(size), body);
            }

            Download d = download(url, dir.file("f"), limit);
            EXPECT_EQ(fits, d.ok);
            EXPECT_EQ(fits ? "" : "download too large", d.err);
            EXPECT_EQ(fits, std::filesystem::exists(dir.file("f")));
            if (fits) {
                EXPECT_EQ(pattern(size), readBytes(dir.file("f")));
            }
        }
    }
}

// --- downloads -----------------------------------------------------------------------------------

TEST(Http, TotalIsTheDeclaredLengthOrZeroWithoutOne) {
    ReleaseHost host;
    ASSERT_TRUE(host.started());
    TempDir dir;
    struct Case {
        const char* mode;
        unsigned long long total;
    };
    for (Case c : {Case{"plain", 5000}, Case{"nolength", 0}, Case{"chunked", 0}}) {
        SCOPED_TRACE(c.mode);
        Download d = download(host.base() + "/bytes/5000?mode=" + c.mode, dir.file("f"));
        ASSERT_TRUE(d.ok) << d.err;
        EXPECT_EQ(5000u, d.got);
        EXPECT_EQ(c.total, d.total);
    }
}

TEST(Http, ADownloadAnsweredWithAnErrorStatusLeavesNoFile) {
    ReleaseHost host;
    ASSERT_TRUE(host.started());
    TempDir dir;
    const std::string path = dir.write("f", "an older file of the same name");
    Download d = download(host.base() + "/status/404", path);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ("HTTP 404", d.err);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Http, StoppingADownloadDeletesThePartialFile) {
    ReleaseHost host;
    ASSERT_TRUE(host.started());
    TempDir dir;
    std::atomic<unsigned long long> got{0}, total{0};
    std::atomic<bool> stop{false};
    std::string err;
    bool ok = true;
    std::thread worker([&] {
        ok = plat::httpDownload(host.base() + "/bytes/60?mode=drip", kAgent, dir.file("f"), got,
                                total, stop, err, 1000);
    });
    const double guard = plat::now() + 30;
    while (got == 0 && plat::now() < guard)
        plat::sleepMs(10);
    EXPECT_GT(got.load(), 0u);
    EXPECT_EQ(60u, total.load());
    stop = true;
    worker.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ("stopped", err);
    EXPECT_FALSE(std::filesystem::exists(dir.file("f")));
}

TEST(Http, AFileThatCannotBeCreatedIsReportedWithTheSystemsReason) {
    ReleaseHost host;
    ASSERT_TRUE(host.started());
    TempDir dir;
    Download d = download(host.base() + "/bytes/3", dir.file("no-such-folder/f"));
    EXPECT_FALSE(d.ok);
    EXPECT_EQ("No such file or directory", d.err);
    EXPECT_TRUE(host.log().empty());
}

// --- network failures ----------------------------------------------------------------------------

TEST(Http, BrokenTransfersFailWithCurlsOwnWords) {
    ReleaseHost host({"--fault", "redirect-loop@/loop"});
    ASSERT_TRUE(host.started());
    ReleaseHost gone;
    ASSERT_TRUE(gone.started());
    const std::string closedPort = gone.base();
    gone.stop();
    TempDir dir;
    struct Case {
        std::string url;
        const char* words; // part of the reason
    };
    for (const Case& c : {Case{host.base() + "/bytes/5000?mode=truncated", "transfer closed"},
                          Case{closedPort + "/bytes/3", "onnect"},
                          Case{host.base() + "/loop", "redirects followed"}}) {
        SCOPED_TRACE(c.url);
        std::string body, err;
        long status = 0;
        EXPECT_FALSE(plat::httpGet(c.url, kAgent, body, status, err, 1 << 20));
        EXPECT_NE(std::string::npos, err.find(c.words)) << err;
        Download d = download(c.url, dir.file("f"));
        EXPECT_FALSE(d.ok);
        EXPECT_NE(std::string::npos, d.err.find(c.words)) << d.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("f")));
    }
}

// The two slow tests: a server that goes silent is given up after the 8 s receive time-out ...
TEST(Http, ASilentServerIsGivenUpAfterTheReceiveTimeOut) {
    ReleaseHost host;
    ASSERT_TRUE(host.started());
    std::string body, err;
    long status = 0;
    EXPECT_FALSE(
        plat::httpGet(host.base() + "/bytes/1000?mode=stall", kAgent, body, status, err, 5000));
    EXPECT_EQ("Timeout was reached: nothing received for 8 seconds", err);
    EXPECT_EQ(200, status);
}

// The time-out is a limit on silence, not on speed: an answer that keeps trickling in, longer in
// all than the time-out, arrives whole.
TEST(Http, ASlowButSteadyAnswerIsNotCutOff) {
    ReleaseHost host;
    ASSERT_TRUE(host.started());
    std::string body, err;
    long status = 0;
    EXPECT_TRUE(plat::httpGet(host.base() + "/bytes/11?mode=drip", kAgent, body, status, err, 100))
        << err;
    EXPECT_EQ(pattern(11), body);
}

// --- redirects -----------------------------------------------------------------------------------

TEST(Http, RedirectsAreFollowedAndTheFinalAnswerCounts) {
    ReleaseHost first;
    ReleaseHost second;
    ASSERT_TRUE(first.started() && second.started());
    first.fault("redirect-http", "/bytes/", second.base());
    TempDir dir;
    struct Case {
        const char* mode;
        unsigned long long total; // the final answer's, never the redirect's own 12
    };
    for (Case c : {Case{"plain", 777}, Case{"nolength", 0}}) {
        SCOPED_TRACE(c.mode);
        Download d = download(first.base() + "/bytes/777?mode=" + c.mode, dir.file("f"));
        ASSERT_TRUE(d.ok) << d.err;
        EXPECT_EQ(c.total, d.total);
        EXPECT_EQ(pattern(777), readBytes(dir.file("f")));
    }

    first.clearFaults();
    first.fault("redirect-http", "/status/", second.base());
    std::string body, err;
    long status = 0;
    ASSERT_TRUE(plat::httpGet(first.base() + "/status/503", kAgent, body, status, err, 1000));
    EXPECT_EQ(503, status);
    EXPECT_EQ("status 503\n", body);
}

// --- TLS -----------------------------------------------------------------------------------------

class HttpTls : public ::testing::Test {
protected:
    void TearDown() override { plat::setHttpTestCaFile(""); }
    TempDir dir;
};

TEST_F(HttpTls, ATrustedCertificateWorksAndAnUntrustedOneIsRefused) {
    std::string cert, key;
    ASSERT_TRUE(makeCertificate(dir.path(), "IP:127.0.0.1", cert, key));
    ReleaseHost host({"--https", cert, key}, true);
    ASSERT_TRUE(host.started());
    std::string body, err;
    long status = 0;

    EXPECT_FALSE(plat::httpGet(host.base() + "/bytes/3", kAgent, body, status, err, 100));
    EXPECT_NE(std::string::npos, err.find("certificate problem")) << err;

    plat::setHttpTestCaFile(cert);
    err.clear();
    ASSERT_TRUE(plat::httpGet(host.base() + "/bytes/3", kAgent, body, status, err, 100)) << err;
    EXPECT_EQ(200, status);
    EXPECT_EQ(pattern(3), body);
}

TEST_F(HttpTls, ACertificateForAnotherHostIsRefusedEvenWhenTrusted) {
    std::string cert, key;
    ASSERT_TRUE(makeCertificate(dir.path(), "DNS:other.invalid", cert, key));
    ReleaseHost host({"--https", cert, key}, true);
    ASSERT_TRUE(host.started());
    plat::setHttpTestCaFile(cert);
    std::string body, err;
    long status = 0;
    EXPECT_FALSE(plat::httpGet(host.base() + "/bytes/3", kAgent, body, status, err, 100));
    EXPECT_NE(std::string::npos, err.find("host name '127.0.0.1'")) << err;
}

TEST_F(HttpTls, AnHttpsAddressNeverFollowsARedirectToHttp) {
    std::string cert, key;
    ASSERT_TRUE(makeCertificate(dir.path(), "IP:127.0.0.1", cert, key));
    ReleaseHost plain;
    ASSERT_TRUE(plain.started());
    ReleaseHost secure(
        {"--https", cert, key, "--fault", "redirect-http", "--redirect-to", plain.base()}, true);
    ASSERT_TRUE(secure.started());
    plat::setHttpTestCaFile(cert);
    std::string body, err;
    long status = 0;
    EXPECT_FALSE(plat::httpGet(secure.base() + "/bytes/3", kAgent, body, status, err, 100));
    EXPECT_NE(std::string::npos, err.find("Protocol \"http\" not supported")) << err;
    EXPECT_TRUE(plain.log().empty());

    TempDir files;
    Download d = download(secure.base() + "/bytes/3", files.file("f"));
    EXPECT_FALSE(d.ok);
    EXPECT_FALSE(std::filesystem::exists(files.file("f")));
    EXPECT_TRUE(plain.log().empty());
}

// --- without libcurl ----------------------------------------------------------------------------

// libcurl is opened at the first request. A loader that finds a broken libcurl.so.4 first stands
// for a system without a usable one: the launcher still starts, and a request fails with the
// loader's reason and leaves no file, where a linked libcurl would have stopped the program
// before main.
TEST(Http, WithoutAUsableLibcurlTheLauncherStartsAndRequestsFailWithTheLoadersReason) {
    ReleaseHost host;
    ASSERT_TRUE(host.started());
    TempDir dir;
    putFile(dir.file("lib/libcurl.so.4"), "not a library\n");
    const std::string saved = plat::getEnv("LD_LIBRARY_PATH");
    plat::setEnv("LD_LIBRARY_PATH", dir.file("lib"));
    const Finished version = runToEnd(std::string(QM_BIN_DIR) + "/qm-launcher", {"--version"});
    const Finished child = runToEnd(std::string(QM_BIN_DIR) + "/qm_test_child",
                                    {"get", host.base() + "/bytes/3", "download",
                                     host.base() + "/bytes/3", dir.file("out.bin")});
    plat::setEnv("LD_LIBRARY_PATH", saved);

    EXPECT_EQ(0, version.exitCode);
    EXPECT_FALSE(version.lines.empty());
    ASSERT_EQ(0, child.exitCode);
    ASSERT_EQ(2u, child.lines.size());
    const std::string reason =
        "failed: libcurl could not be loaded: " + dir.file("lib/libcurl.so.4");
    EXPECT_EQ(0u, child.lines[0].find("get " + reason)) << child.lines[0];
    EXPECT_EQ(0u, child.lines[1].find("download " + reason)) << child.lines[1];
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.bin")));
}

} // namespace
