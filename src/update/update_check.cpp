// The check for a newer release: one GET of the release host's latest-release description on a
// worker thread, a search for its tag, and a comparison with the launcher's own version.
//
// Sections: the tag search · the worker · start, result and end
#include "update/update_check.h"

#include "app/identity.h"
#include "plat/http.h"

#include <cstring>

// --- the tag search ------------------------------------------------------------------------------

static bool tagCharacter(char c) {
    if (c == '\0') return false;
    return std::strchr("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-+", c);
}

std::string findReleaseTag(const std::string& body) {
    size_t key = body.find("\"tag_name\"");
    if (key == std::string::npos) return {};
    size_t after = key + std::strlen("\"tag_name\"");
    if (after >= body.size()) return {};
    size_t colon = body.find(':', after);
    if (colon == std::string::npos) return {};
    size_t open = body.find_first_not_of(" \t\n\r", colon + 1);
    if (open == std::string::npos || body[open] != '"') return {};
    size_t close = body.find('"', open + 1);
    if (close == std::string::npos) return {};
    std::string tag = body.substr(open + 1, close - open - 1);
    if (tag.empty() || tag.size() > 63) return {};
    for (char c : tag)
        if (!tagCharacter(c)) return {};
    return tag;
}

// --- the worker ----------------------------------------------------------------------------------

// Runs on its own thread and touches nothing but the shared record, which lives as long as either
// the UpdateCheck or this worker does.
static void runCheck(std::shared_ptr<UpdateCheck::Shared> shared, std::string url, int limitMs) {
    const std::string userAgent = std::string("QM-Launcher/") + kLauncherVersion;
    std::string body, err;
    long status = 0;
    bool ok = plat::httpGet(url, userAgent, body, status, err, 1048576, limitMs);
    std::string tag = ok && status == 200 ? findReleaseTag(body) : std::string();

    std::lock_guard<std::mutex> lock(shared->mutex);
    UpdateCheckResult& r = shared->result;
    if (!tag.empty()) {
        r.latestVersion = tag[0] == 'v' || tag[0] == 'V' ? tag.substr(1) : tag;
        r.tag = tag;
        r.releasePageUrl = kReleasePagePrefix + tag;
        r.state = isNewerVersion(tag, kLauncherVersion) ? 3 : 2;
        return;
    }
    if (!ok)
        r.error = err;
    else if (status == 404)
        r.error = "no release published yet";
    else
        r.error = "HTTP " + std::to_string(status);
    r.state = 4;
}

// --- start, result and end -----------------------------------------------------------------------

UpdateCheck::UpdateCheck() : shared_(std::make_shared<Shared>()) {}

UpdateCheck::~UpdateCheck() {
    // Quitting never waits for the network: the worker keeps the shared record alive by itself.
    if (thread_.joinable()) thread_.detach();
}

void UpdateCheck::start(const std::string& url, bool userAsked) {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->result.state == 1) return;
        shared_->result.state = 1;
        shared_->result.userAsked = userAsked;
    }
    // The previous worker has published already; this waits for its last instructions only.
    if (thread_.joinable()) thread_.join();
    thread_ = std::thread(runCheck, shared_, url, limitMs_);
}

UpdateCheckResult UpdateCheck::snapshot() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->result;
}
