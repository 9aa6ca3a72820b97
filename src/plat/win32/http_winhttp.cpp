// The shared HTTP request routine on WinHTTP.
//
// Sections: the address · handles · cancelling · the request
//
// WinHTTP follows redirects by itself (never from https down to http) and reports only the final
// response. Certificates are checked against the system's store; the tests' own store
// (setHttpTestCaFile) has no meaning here.
#include "plat/http.h"

#include "plat/process.h"
#include "plat/win32/wide.h"

#include <winhttp.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using plat::win::toWide;

namespace plat {
namespace {

// --- the address ---------------------------------------------------------------------------------

struct Address {
    bool secure = false;
    INTERNET_PORT port = 0;
    std::wstring host;
    std::wstring path; // with the query
};

bool crackUrl(const std::string& url, Address& a) {
    std::wstring w = toWide(url);
    if (w.empty()) return false;
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = DWORD(-1);
    parts.dwHostNameLength = DWORD(-1);
    parts.dwUrlPathLength = DWORD(-1);
    parts.dwExtraInfoLength = DWORD(-1);
    if (!WinHttpCrackUrl(w.c_str(), DWORD(w.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return false;
    // The limits of the fixed buffers WinHTTP is usually called with: a host name of 255
    // characters and a path of 2047.
    if (parts.dwHostNameLength == 0 || parts.dwHostNameLength > 255) return false;
    if (parts.dwUrlPathLength + parts.dwExtraInfoLength > 2047) return false;
    a.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    a.port = parts.nPort;
    a.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    if (parts.lpszUrlPath) a.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) a.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (a.path.empty()) a.path = L"/";
    return true;
}

// --- handles -------------------------------------------------------------------------------------

// Closes the request, the connection and the session, in that order.
struct Handles {
    HINTERNET session = nullptr, connection = nullptr, request = nullptr;
    ~Handles() {
        for (HINTERNET h : {request, connection, session})
            if (h) WinHttpCloseHandle(h);
    }
};

HINTERNET openSession(const std::string& userAgent) {
    std::wstring agent = toWide(userAgent);
    HINTERNET s = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                              WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    // Automatic proxy discovery needs Windows 8.1; older systems take the registry's setting.
    if (!s)
        s = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                        WINHTTP_NO_PROXY_BYPASS, 0);
    return s;
}

unsigned long long parseLength(const wchar_t* text) {
    unsigned long long n = 0;
    for (const wchar_t* p = text; *p >= L'0' && *p <= L'9'; ++p)
        n = n * 10 + unsigned(*p - L'0');
    return n;
}

void readStatusAndLength(HINTERNET request, long& status, unsigned long long& contentLength) {
    DWORD code = 0, size = sizeof code;
    if (WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX))
        status = long(code);
    wchar_t length[32] = {};
    size = sizeof length - sizeof(wchar_t); // at most 31 characters and the zero
    if (WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                            length, &size, WINHTTP_NO_HEADER_INDEX))
        contentLength = parseLength(length);
}

// Hands the body to onData chunk by chunk. The buffer holds at least 64 KiB so that a fast
// answer is read in few calls; each read asks for exactly what is waiting.
bool readBody(HINTERNET request, std::string& err, const HttpDataFn& onData) {
    std::vector<char> buf(64 * 1024);
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available)) {
            err = lastErrorText();
            return false;
        }
        if (available == 0) return true;
        if (available > buf.size()) buf.resize(available);
        DWORD got = 0;
        if (!WinHttpReadData(request, buf.data(), available, &got)) {
            err = lastErrorText();
            return false;
        }
        if (got == 0) return true;
        if (!onData(buf.data(), got)) return false;
    }
}

// --- cancelling ----------------------------------------------------------------------------------

// A blocking call on a request (send, receive, query or read) returns only when bytes come or the
// receive time-out ends it. Closing the request handle from another thread makes it return at
// once with an error, so a thread of this object's own closes it as soon as the watch gives a
// reason.
class Canceller {
public:
    Canceller(HINTERNET request, const HttpWatch& watch) {
        if (watch.active()) thread_ = std::thread([this, request, &watch] { run(request, watch); });
    }
    ~Canceller() { finish(); }
    Canceller(const Canceller&) = delete;
    Canceller& operator=(const Canceller&) = delete;

    // Ends the watch. The reason it closed the request handle, or empty text when it did not.
    std::string finish() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
        return reason_;
    }

private:
    void run(HINTERNET request, const HttpWatch& watch) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!done_) {
            std::string why = watch.reason();
            if (!why.empty()) {
                WinHttpCloseHandle(request);
                reason_ = why;
                return;
            }
            wake_.wait_for(lock, std::chrono::milliseconds(100));
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;  // guarded by mutex_
    std::string reason_; // written by the thread, read after it ended
    std::thread thread_;
};

} // namespace

// --- the request ---------------------------------------------------------------------------------

bool httpRequest(const std::string& url, const std::string& userAgent, const std::string& headers,
                 int receiveTimeoutMs, long& status, unsigned long long& contentLength,
                 std::string& err, const HttpDataFn& onData, const HttpCancel& cancel) {
    const HttpWatch watch(cancel);
    status = 0;
    contentLength = 0;
    Address a;
    if (!crackUrl(url, a)) {
        err = "bad URL";
        return false;
    }
    Handles h;
    h.session = openSession(userAgent);
    if (!h.session) {
        err = lastErrorText();
        return false;
    }
    WinHttpSetTimeouts(h.session, 5000, 5000, 5000, receiveTimeoutMs);
    std::wstring extra = toWide(headers);
    h.connection = WinHttpConnect(h.session, a.host.c_str(), a.port, 0);
    if (h.connection)
        h.request =
            WinHttpOpenRequest(h.connection, L"GET", a.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                               WINHTTP_DEFAULT_ACCEPT_TYPES, a.secure ? WINHTTP_FLAG_SECURE : 0);
    if (!h.request) {
        err = lastErrorText();
        return false;
    }
    Canceller canceller(h.request, watch);
    bool ok =
        WinHttpSendRequest(h.request, extra.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : extra.c_str(),
                           extra.empty() ? 0 : DWORD(-1L), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
        WinHttpReceiveResponse(h.request, nullptr);
    if (ok) {
        readStatusAndLength(h.request, status, contentLength);
        ok = readBody(h.request, err, onData);
    } else {
        err = lastErrorText();
    }
    const std::string cancelled = canceller.finish();
    if (cancelled.empty()) return ok;
    h.request = nullptr; // closed already, by the canceller
    err = cancelled;
    return false;
}

} // namespace plat
