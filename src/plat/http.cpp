// The two HTTP calls the launcher makes, built on the backend's httpRequest; the same on every
// platform.
//
// Sections: test certificate store · the watch · in-memory GET · download into a file
#include "plat/http.h"

#include "plat/clock.h"
#include "plat/fs.h"
#include "plat/process.h"

#include <cstdio>
#include <mutex>

namespace plat {

// --- test certificate store ---------------------------------------------------------------------

namespace {
std::mutex caLock;
std::string caFile; // guarded by caLock
} // namespace

void setHttpTestCaFile(const std::string& pemPath) {
    std::lock_guard<std::mutex> lock(caLock);
    caFile = pemPath;
}

std::string httpTestCaFile() {
    std::lock_guard<std::mutex> lock(caLock);
    return caFile;
}

// --- the watch ----------------------------------------------------------------------------------

HttpWatch::HttpWatch(const HttpCancel& cancel) : cancel_(cancel), start_(now()) {}

bool HttpWatch::active() const {
    return cancel_.stop || cancel_.totalLimitMs > 0;
}

std::string HttpWatch::reason() const {
    if (cancel_.stop && *cancel_.stop) return "stopped";
    if (cancel_.totalLimitMs > 0 && (now() - start_) * 1000 >= cancel_.totalLimitMs)
        return "no complete answer within " + std::to_string(cancel_.totalLimitMs / 1000) +
               " seconds";
    return {};
}

// --- in-memory GET ------------------------------------------------------------------------------

bool httpGet(const std::string& url, const std::string& userAgent, std::string& body, long& status,
             std::string& err, unsigned long long maxBytes, int totalLimitMs) {
    body.clear();
    const std::string headers = "Accept: application/vnd.github+json\r\n"
                                "X-GitHub-Api-Version: 2022-11-28\r\n";
    unsigned long long contentLength = 0;
    auto onData = [&](const char* bytes, std::size_t count) {
        body.append(bytes, count);
        if (body.size() > maxBytes) {
            err = "response too large";
            return false;
        }
        return true;
    };
    return httpRequest(url, userAgent, headers, 8000, status, contentLength, err, onData,
                       HttpCancel{nullptr, totalLimitMs});
}

// --- download into a file -----------------------------------------------------------------------

bool httpDownload(const std::string& url, const std::string& userAgent, const std::string& path,
                  std::atomic<unsigned long long>& got, std::atomic<unsigned long long>& total,
                  const std::atomic<bool>& stop, std::string& err, unsigned long long maxBytes) {
    got = 0;
    total = 0;
    FILE* file = openFile(path, "wb");
    if (!file) {
        err = lastErrorText();
        return false;
    }
    // The body arrives in pieces of 16 KiB or less; the file sees one write per MiB instead.
    setvbuf(file, nullptr, _IOFBF, 1 << 20);
    long status = 0;
    unsigned long long contentLength = 0;
    bool first = true;
    auto onData = [&](const char* bytes, std::size_t count) {
        if (first) {
            total = contentLength;
            first = false;
        }
        if (status != 200) return false; // an error page never lands in the file
        if (stop) {
            err = "stopped";
            return false;
        }
        if (fwrite(bytes, 1, count, file) != count) {
            err = lastErrorText();
            return false;
        }
        got += count;
        if (got > maxBytes) {
            err = "download too large";
            return false;
        }
        return true;
    };
    bool ok = httpRequest(url, userAgent, "Accept: application/octet-stream\r\n", 30000, status,
                          contentLength, err, onData, HttpCancel{&stop, 0});
    // Buffered bytes reach the disk only here, so a full disk may show up at the close.
    if (fclose(file) != 0 && ok && status == 200) {
        err = lastErrorText();
        ok = false;
    }
    if (ok && status == 200) return true;
    if (ok)
        err = "HTTP " + std::to_string(status);
    else if (err.empty())
        err = status == 200 ? "download failed" : "HTTP " + std::to_string(status);
    removePath(path);
    return false;
}

} // namespace plat
