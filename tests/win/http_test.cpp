// The WinHTTP client against the stand-in release host (fixtures/release_host.py), which the
// Wine lane starts on 127.0.0.1 and names in QM_TEST_HOST ("http://127.0.0.1:PORT"):
// addresses · status and body · size limits · downloads · failures · redirects.
#include "plat/env.h"
#include "plat/fs.h"
#include "plat/http.h"
#include "win/win_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

const std::string kAgent = "QM-Launcher/0.6.1";

std::string host() {
    return plat::getEnv("QM_TEST_HOST");
}

#define NEED_HOST()                                                                                \
    if (host().empty()) GTEST_SKIP() << "QM_TEST_HOST names no release host"

struct Get {
    bool ok = false;
    long status = -1;
    std::string body, err;
};

Get get(const std::string& url, unsigned long long maxBytes = 1 << 30) {
    Get g;
    g.body = "old";
    g.ok = plat::httpGet(url, kAgent, g.body, g.status, g.err, maxBytes);
    return g;
}

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

} // namespace

// --- addresses -----------------------------------------------------------------------------------

TEST(WinHttp, AddressesThatAreNotHttpAreRefused) {
    wintest::TempDir dir;
    for (const std::string url : {"ftp://127.0.0.1/bytes/3", "127.0.0.1/bytes/3", "http://", "",
                                  "file:///C:/windows/win.ini"}) {
        SCOPED_TRACE(url);
        Get g = get(url);
        EXPECT_FALSE(g.ok);
        EXPECT_EQ(g.err, "bad URL");
        EXPECT_EQ(g.status, 0);
        EXPECT_EQ(g.body, "");
        Download d = download(url, dir.file("x"));
        EXPECT_EQ(d.err, "bad URL");
        EXPECT_FALSE(pathExists(dir.file("x")));
    }
}

// --- status and body -----------------------------------------------------------------------------

TEST(WinHttp, AnErrorStatusIsAnAnswerWithItsBody) {
    NEED_HOST();
    Get g = get(host() + "/status/404");
    EXPECT_TRUE(g.ok) << g.err;
    EXPECT_EQ(g.status, 404);
    EXPECT_EQ(g.body, "status 404\n");
}

TEST(WinHttp, SendsTheAgentAndTheHeaderLines) {
    NEED_HOST();
    Get g = get(host() + "/headers");
    ASSERT_TRUE(g.ok) << g.err;
    for (const char* line :
         {"User-Agent: QM-Launcher/0.6.1\n", "Accept: application/vnd.github+json\n",
          "X-GitHub-Api-Version: 2022-11-28\n"})
        EXPECT_NE(g.body.find(line), std::string::npos) << line << g.body;
}

TEST(WinHttp, BodiesOfEveryTransferModeArriveWhole) {
    NEED_HOST();
    for (const char* mode : {"plain", "nolength", "chunked"}) {
        Get g = get(host() + "/bytes/300000?mode=" + mode);
        EXPECT_TRUE(g.ok) << mode << " " << g.err;
        EXPECT_EQ(g.status, 200);
        EXPECT_TRUE(g.body == pattern(300000)) << mode << " " << g.body.size();
    }
}

TEST(WinHttp, SizeLimitIsInclusive) {
    NEED_HOST();
    Get exact = get(host() + "/bytes/5000", 5000);
    EXPECT_TRUE(exact.ok) << exact.err;
    Get over = get(host() + "/bytes/5001", 5000);
    EXPECT_FALSE(over.ok);
    EXPECT_EQ(over.err, "response too large");
}

// --- downloads -----------------------------------------------------------------------------------

TEST(WinHttp, DownloadWritesTheWholeBodyToAJapanesePath) {
    NEED_HOST();
    wintest::TempDir dir;
    std::string path = dir.file("更新.zip");
    Download d = download(host() + "/bytes/1048577", path);
    ASSERT_TRUE(d.ok) << d.err;
    EXPECT_EQ(d.got, 1048577u);
    EXPECT_EQ(d.total, 1048577u);
    EXPECT_TRUE(wintest::readFile(path) == pattern(1048577));
}

TEST(WinHttp, DownloadWithoutLengthLeavesTotalAtZero) {
    NEED_HOST();
    wintest::TempDir dir;
    Download d = download(host() + "/bytes/7000?mode=nolength", dir.file("x"));
    ASSERT_TRUE(d.ok) << d.err;
    EXPECT_EQ(d.got, 7000u);
    EXPECT_EQ(d.total, 0u);
}

TEST(WinHttp, FailedDownloadsLeaveNoFile) {
    NEED_HOST();
    wintest::TempDir dir;
    struct Case {
        std::string path;
        unsigned long long max;
        const char* err;
    } cases[] = {{"/status/404", 1 << 20, "HTTP 404"},
                 {"/bytes/5001", 5000, "download too large"},
                 {"/status/500", 1 << 20, "HTTP 500"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Download d = download(host() + c.path, dir.file("x"), c.max);
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(d.err, c.err);
        EXPECT_FALSE(pathExists(dir.file("x")));
    }
    Download exact = download(host() + "/bytes/5000", dir.file("x"), 5000);
    EXPECT_TRUE(exact.ok) << exact.err;
}

TEST(WinHttp, StopEndsADownloadAndDeletesTheFile) {
    NEED_HOST();
    wintest::TempDir dir;
    std::atomic<unsigned long long> got{0}, total{0};
    std::atomic<bool> stop{false};
    std::string err;
    std::thread stopper([&] {
        while (got.load() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        stop = true;
    });
    bool ok = plat::httpDownload(host() + "/bytes/40?mode=drip", kAgent, dir.file("x"), got, total,
                                 stop, err, 1 << 20);
    stopper.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(err, "stopped");
    EXPECT_FALSE(pathExists(dir.file("x")));
}

// Stop does not wait for a byte that never comes, nor for the 30 s receive time-out, which is all
// that ends a blocking read under Wine.
TEST(WinHttp, StopEndsASilentDownloadWithinSeconds) {
    NEED_HOST();
    wintest::TempDir dir;
    std::atomic<unsigned long long> got{0}, total{0};
    std::atomic<bool> stop{false};
    std::string err;
    std::chrono::steady_clock::time_point pressed{};
    std::thread stopper([&] {
        const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (got.load() == 0 && std::chrono::steady_clock::now() < guard)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // into the silence
        pressed = std::chrono::steady_clock::now();
        stop = true;
    });
    bool ok = plat::httpDownload(host() + "/bytes/100?mode=stall", kAgent, dir.file("x"), got,
                                 total, stop, err, 1 << 20);
    const auto ended = std::chrono::steady_clock::now();
    stopper.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(err, "stopped");
    EXPECT_LT(ended - pressed, std::chrono::seconds(5));
    EXPECT_FALSE(pathExists(dir.file("x")));
}

// The time limit holds whether the host trickles (each byte comes before the receive time-out)
// or falls silent before or after the headers (nothing comes for 8 s, the receive time-out, or,
// under Wine before the headers, until the host gives up).
TEST(WinHttp, ATimeLimitEndsAnAnswerThatTricklesOrFallsSilent) {
    NEED_HOST();
    struct Case {
        const char* path;
        const char* fault;
    } cases[] = {{"/bytes/100?mode=drip", ""},
                 {"/bytes/100?mode=stall", ""},
                 {"/bytes/100", "/_control/fault?name=mute&match=%5E/bytes/100%24"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + std::string(" ") + c.fault);
        if (*c.fault) {
            ASSERT_TRUE(get(host() + c.fault).ok);
        }
        std::string body, err;
        long status = 0;
        const auto started = std::chrono::steady_clock::now();
        bool ok = plat::httpGet(host() + c.path, kAgent, body, status, err, 1 << 20, 2000);
        const auto ended = std::chrono::steady_clock::now();
        get(host() + "/_control/fault?name=none");
        EXPECT_FALSE(ok);
        EXPECT_EQ(err, "no complete answer within 2 seconds");
        EXPECT_LT(ended - started, std::chrono::seconds(6));
    }
}

// --- failures and redirects ----------------------------------------------------------------------

TEST(WinHttp, SilenceEndsAtTheReceiveTimeOut) {
    NEED_HOST();
    long status = 0;
    unsigned long long length = 0;
    std::string err, body;
    bool ok = plat::httpRequest(host() + "/bytes/100?mode=stall", kAgent, "", 1500, status, length,
                                err, [&](const char* b, std::size_t n) {
                                    body.append(b, n);
                                    return true;
                                });
    EXPECT_FALSE(ok);
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(status, 200);
    EXPECT_EQ(length, 100u);
}

TEST(WinHttp, NobodyListeningIsAFailureWithAText) {
    NEED_HOST();
    Get g = get("http://127.0.0.1:9/bytes/3");
    EXPECT_FALSE(g.ok);
    EXPECT_FALSE(g.err.empty());
}

TEST(WinHttp, RedirectsAreFollowedToTheFinalAnswer) {
    NEED_HOST();
    std::string port = host().substr(host().rfind(':') + 1);
    // /bytes/12 is sent on to the other loopback name, where the answer comes from /bytes/11
    // (the host appends the asked path, which lands in the query).
    Get g = get(host() + "/_control/fault?name=redirect-http&match=%5E/bytes/12%24&to=" +
                "http://localhost:" + port + "/bytes/11%3Ffrom=");
    ASSERT_TRUE(g.ok) << g.err;
    Get r = get(host() + "/bytes/12");
    get(host() + "/_control/fault?name=none");
    EXPECT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, pattern(11));
}
