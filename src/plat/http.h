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

// The shared request routine. headers: header lines, each ending in CR LF. status and
// contentLength describe the final response (0 when absent) and are already set when onData first
// runs. True when a response arrived and its body was read to the end, whatever its status.
bool httpRequest(const std::string& url, const std::string& userAgent, const std::string& headers,
                 int receiveTimeoutMs, long& status, unsigned long long& contentLength,
                 std::string& err, const HttpDataFn& onData);

// The whole body into memory (at most maxBytes bytes, else "response too large"). True when the
// body was read to the end, whatever the status: the caller judges status.
bool httpGet(const std::string& url, const std::string& userAgent, std::string& body, long& status,
             std::string& err, unsigned long long maxBytes);

// Streams the body into the file at path. got and total are progress for another thread; stop,
// set from another thread, ends the transfer at the next chunk. True only for a complete 200
// answer; on every failure the file is deleted.
bool httpDownload(const std::string& url, const std::string& userAgent, const std::string& path,
                  std::atomic<unsigned long long>& got, std::atomic<unsigned long long>& total,
                  const std::atomic<bool>& stop, std::string& err, unsigned long long maxBytes);

// Tests only: trust the certificates in this PEM file instead of the system's, so that a test can
// run an https server of its own on the loopback address. Empty restores the system's store.
// Backends without such a store ignore it.
void setHttpTestCaFile(const std::string& pemPath);
std::string httpTestCaFile();

} // namespace plat
