// The update check: the tag search on its own · whole checks against the stand-in release host ·
// a second start while one runs.
#include "update/update_check.h"

#include "plat/clock.h"
#include "update/host_support.h"

#include <gtest/gtest.h>

using namespace qmupdate;

namespace {

// --- the tag search ------------------------------------------------------------------------------

TEST(FindReleaseTag, SearchesTheTextWithoutParsingIt) {
    struct Case {
        const char* name;
        std::string body;
        std::string tag;
    };
    const std::string tag63(63, '7');
    const Case cases[] = {
        {"plain", R"({"url": "x", "tag_name": "v0.7.0", "name": "n"})", "v0.7.0"},
        {"compact", R"({"tag_name":"0.7.0"})", "0.7.0"},
        {"blank kinds before the value", "{\"tag_name\" :\r\n\t \"0.7.0-rc.1+b5\"}",
         "0.7.0-rc.1+b5"},
        {"first key wins", R"({"tag_name": "v1", "tag_name": "v2"})", "v1"},
        {"63 characters", "{\"tag_name\": \"" + tag63 + "\"}", tag63},
        {"64 characters", "{\"tag_name\": \"" + tag63 + "7\"}", ""},
        {"empty", R"({"tag_name": ""})", ""},
        {"blank inside", R"({"tag_name": "v0.7 .0"})", ""},
        {"slash inside", R"({"tag_name": "v0.7/0"})", ""},
        {"escape is not interpreted", R"({"tag_name": "v0.7\"0"})", ""},
        {"not a text", R"({"tag_name": 7})", ""},
        {"unquoted key", R"({tag_name: "v0.7.0"})", ""},
        {"longer key", R"({"tag_name2": "v0.7.0"})", ""},
        {"no colon", R"({"tag_name" "v0.7.0"})", ""},
        {"key at the very end", R"({"tag_name")", ""},
        {"no closing quote", R"({"tag_name": "v0.7.0)", ""},
        {"no key", R"({"name": "v0.7.0"})", ""},
        {"not JSON at all", "<html>tag_name</html>", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.tag, findReleaseTag(c.body)) << c.name;
}

// --- whole checks --------------------------------------------------------------------------------

UpdateCheckResult finish(UpdateCheck& check) {
    const double guard = plat::now() + 60;
    UpdateCheckResult r = check.snapshot();
    while (r.state == 1 && plat::now() < guard) {
        plat::sleepMs(10);
        r = check.snapshot();
    }
    EXPECT_NE(1, r.state) << "the check did not end";
    return r;
}

struct CheckCase {
    const char* name;
    int status;
    std::string body;
    int state;
    std::string latestOrError; // the latest version in states 2 and 3, the error in state 4
};

std::string answer(const std::string& tag) {
    return "{\n  \"url\": \"x\",\n  \"tag_name\": \"" + tag + "\",\n  \"assets\": []\n}";
}

TEST(UpdateCheck, StatesFromTheReleaseHostsAnswers) {
    ReleaseHost host;
    ASSERT_TRUE(host.started());
    const std::string url = host.base() + kLatestPath;
    const CheckCase cases[] = {
        {"newer with v", 200, answer("v0.7.0"), 3, "0.7.0"},
        {"newer with V", 200, answer("V0.7.0"), 3, "0.7.0"},
        {"same version", 200, answer("v0.6.1"), 2, "0.6.1"},
        {"pre-release of the same", 200, answer("0.6.1-rc1"), 2, "0.6.1-rc1"},
        {"older", 200, answer("v0.6.0"), 2, "0.6.0"},
        {"not a version", 200, answer("v0.7"), 2, "0.7"},
        {"blank in the tag", 200, answer("v0.7 .0"), 4, "HTTP 200"},
        {"slash in the tag", 200, answer("v0.7/0"), 4, "HTTP 200"},
        {"64 characters", 200, answer("v0.7.0-" + std::string(57, 'a')), 4, "HTTP 200"},
        {"no tag", 200, "{\"name\": \"v0.7.0\"}", 4, "HTTP 200"},
        {"no release yet", 404, "{\"message\": \"Not Found\"}", 4, "no release published yet"},
        {"server error", 500, "oops", 4, "HTTP 500"},
    };
    UpdateCheck check;
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        host.latest(c.status, c.body);
        check.start(url, true);
        UpdateCheckResult r = finish(check);
        EXPECT_EQ(c.state, r.state);
        EXPECT_TRUE(r.userAsked);
        if (c.state == 4) {
            EXPECT_EQ(c.latestOrError, r.error);
            continue;
        }
        EXPECT_EQ(c.latestOrError, r.latestVersion);
        const std::string tag = findReleaseTag(c.body);
        EXPECT_EQ(tag, r.tag);
        EXPECT_EQ("https://github.com/Kettlewise/ZO_Duzoru/releases/tag/" + tag, r.releasePageUrl);
    }
}

TEST(UpdateCheck, AFailedCheckKeepsTheLastRelease) {
    ReleaseHost host;
    ASSERT_TRUE(host.started());
    UpdateCheck check;
    host.latest(200, answer("v0.7.0"));
    check.start(host.base() + kLatestPath, false);
    ASSERT_EQ(3, finish(check).state);

    host.fault("big", "/releases/latest"); // over the 1 MiB the check accepts
    check.start(host.base() + kLatestPath, true);
    UpdateCheckResult r = finish(check);
    EXPECT_EQ(4, r.state);
    EXPECT_EQ("response too large", r.error);
    EXPECT_EQ("v0.7.0", r.tag);
    EXPECT_EQ("0.7.0", r.latestVersion);
    EXPECT_NE(std::string::npos, r.releasePageUrl.find("/releases/tag/v0.7.0"));

    check.start("ftp://127.0.0.1/latest", true);
    EXPECT_EQ("bad URL", finish(check).error);
}

// A host that keeps sending a byte a second never meets the receive time-out; the check's own
// limit (30 s, shortened here) ends it, so that its button does not stay disabled for minutes.
TEST(UpdateCheck, ATricklingHostFailsTheCheckAtItsTimeLimit) {
    ReleaseHost host({"--fault", "drip@/releases/latest"});
    ASSERT_TRUE(host.started());
    host.latest(200, answer("v0.7.0") + std::string(200, ' ')); // 200 s and more at that pace
    UpdateCheck check;
    check.setLimitForTests(3000);
    check.start(host.base() + kLatestPath, true);
    UpdateCheckResult r = finish(check);
    EXPECT_EQ(4, r.state);
    EXPECT_EQ("no complete answer within 3 seconds", r.error);
    EXPECT_TRUE(r.tag.empty());
}

TEST(UpdateCheck, ASecondStartWhileOneRunsChangesNothing) {
    ReleaseHost host({"--fault", "stall@/releases/latest"});
    ASSERT_TRUE(host.started());
    UpdateCheck check;
    check.start(host.base() + kLatestPath, false);
    check.start("ftp://nowhere/", true); // would fail at once if it ran
    UpdateCheckResult r = check.snapshot();
    EXPECT_EQ(1, r.state);
    EXPECT_FALSE(r.userAsked);
    host.stop(); // the stalled answer ends with the host
    r = finish(check);
    EXPECT_EQ(4, r.state);
    EXPECT_NE("bad URL", r.error);
    EXPECT_FALSE(r.userAsked);
}

TEST(UpdateCheck, DestroyingTheCheckDoesNotWaitForItsWorker) {
    ReleaseHost host({"--fault", "stall@/releases/latest"});
    ASSERT_TRUE(host.started());
    {
        UpdateCheck check;
        check.start(host.base() + kLatestPath, false);
    }
    // The detached worker still owns the shared result; ending its request must not touch the
    // destroyed object (the sanitizer builds watch this).
    host.stop();
    plat::sleepMs(300);
}

} // namespace
