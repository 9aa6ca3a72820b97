// HTTP GET requests: a small answer held in memory and a streamed download into a file.
//
// All three calls block the calling thread (a worker, never the frame thread) until the transfer
// ends. Only http and https are spoken; certificates and host names are checked; redirects are
// followed, but never from https down to http. Texts and paths are UTF-8.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

namespace plat {

// Receives the body in chunks; returning false ends the transfer (the request then fails with
// whatever the callback left in err).
using HttpDataFn = std::function<bool(const char* bytes, std::size_t count)>;

// What ends a request early besides its own failures. A host that sends a byte now and then
// never meets the receive time-out, and one that sends nothing never calls onData, so neither
// may be left to notice these.
struct HttpCancel {
    const std::atomic<bool>* stop = nullptr; // set from another thread: ends with "stopped"
    int totalLimitMs = 0;                    // above 0: the whole request's longest run
};

// One request's watch over its HttpCancel, from the moment it is made. The backends ask it at
// least once a second, whether or not anything arrives, and from any thread.
class HttpWatch {
public:
    explicit HttpWatch(const HttpCancel& cancel);
    // Whether there is anything to watch at all.
    bool active() const;
    // Why the request has to end now: "stopped", or the time limit's text; else empty.
    std::string reason() const;

private:
    HttpCancel cancel_;
    double start_;
};

// The shared request routine. headers: header lines, each ending in CR LF. status and
// contentLength describe the final response (0 when absent) and are already set when onData first
// runs. True when a response arrived and its body was read to the end, whatever its status.
// cancel ends it within a second of its stop flag or time limit, with err set to the reason.
bool httpRequest(const std::string& url, const std::string& userAgent, const std::string& headers,
                 int receiveTimeoutMs, long& status, unsigned long long& contentLength,
                 std::string& err, const HttpDataFn& onData, const HttpCancel& cancel = {});

// The whole body into memory (at most maxBytes bytes, else "response too large"). True when the
// body was read to the end, whatever the status: the caller judges status. totalLimitMs, when
// above 0, bounds the whole request, however the host paces its answer.
bool httpGet(const std::string& url, const std::string& userAgent, std::string& body, long& status,
             std::string& err, unsigned long long maxBytes, int totalLimitMs = 0);

// Streams the body into the file at path. got and total are progress for another thread; stop,
// set from another thread, ends the transfer within a second, whether or not bytes arrive. True
// only for a complete 200 answer; on every failure the file is deleted.
bool httpDownload(const std::string& url, const std::string& userAgent, const std::string& path,
                  std::atomic<unsigned long long>& got, std::atomic<unsigned long long>& total,
                  const std::atomic<bool>& stop, std::string& err, unsigned long long maxBytes);

// Tests only: trust the certificates in this PEM file instead of the system's, so that a test can
// run an https server of its own on the loopback address. Empty restores the system's store.
// Backends without such a store ignore it.
void setHttpTestCaFile(const std::string& pemPath);
std::string httpTestCaFile();

} // namespace plat
