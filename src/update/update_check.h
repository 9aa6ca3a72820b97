// The check for a newer release, run on a worker thread.
//
// The worker publishes into state shared with this object, so a launcher that quits during a
// check neither waits for the network nor leaves the worker writing into freed memory.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct UpdateCheckResult {
    int32_t state = 0; // 0 idle, 1 checking, 2 up to date, 3 newer, 4 failed
    std::string latestVersion;
    std::string releasePageUrl;
    std::string error;
    std::string tag;
    bool userAsked = false;
};

// The longest a whole check may take. A host that sends a byte now and then never meets the
// receive time-out, and the check's button stays disabled while the check runs.
inline constexpr int kUpdateCheckLimitMs = 30000;

// The release page of a tag is this prefix followed by the tag.
inline constexpr const char* kReleasePagePrefix =
    "https://github.com/Kettlewise/ZO_Duzoru/releases/tag/";

// The latest release's tag in the release host's answer, searched for rather than parsed: the text
// between the quotes after the first "tag_name" key, accepted only with 1 to 63 characters, each a
// letter, a digit or one of "._-+". Empty when there is no acceptable tag.
std::string findReleaseTag(const std::string& body);

class UpdateCheck {
public:
    UpdateCheck();
    ~UpdateCheck();
    UpdateCheck(const UpdateCheck&) = delete;
    UpdateCheck& operator=(const UpdateCheck&) = delete;

    void start(const std::string& url, bool userAsked);
    // A consistent copy of the result, taken under the lock.
    UpdateCheckResult snapshot() const;
    // Tests only: a shorter limit than kUpdateCheckLimitMs, for the checks started from now on.
    void setLimitForTests(int ms) { limitMs_ = ms; }

    struct Shared {
        std::mutex mutex;
        UpdateCheckResult result;
    };

private:
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
    int limitMs_ = kUpdateCheckLimitMs;
};
