// The shared HTTP request routine on WinHTTP.
//
// Sections: the address · waiting for WinHTTP · handles · the request
//
// WinHTTP follows redirects by itself (never from https down to http) and reports only the final
// response. Certificates are checked against the system's store; the tests' own store
// (setHttpTestCaFile) has no meaning here.
//
// The session is asynchronous. A blocking call cannot be ended from outside: closing its handle
// from another thread does not end it under Wine, which waits for the receive time-out. Each call
// here is started, and its completion awaited in short slices between which the watch is asked.
#include "plat/http.h"

#include "plat/process.h"
#include "plat/win32/wide.h"

#include <winhttp.h>

#include <atomic>
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

// --- waiting for WinHTTP -------------------------------------------------------------------------

// One request's state shared with WinHTTP's callback, which runs on a thread of WinHTTP's own.
// A request ended by its watch leaves a call pending that may still write into buf and call back
// until the request handle's HANDLE_CLOSING, so the object belongs to both the request routine and
// the handle, and the last of the two to let go deletes it.
class Pending {
public:
    Pending() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;

    bool ready() const { return event_ != nullptr; }
    void addOwner() { owners_.fetch_add(1); }
    void release() {
        if (owners_.fetch_sub(1) == 1) delete this;
    }

    // From the callback: the pending call ended with count bytes (available or read), or failed.
    void complete(DWORD count) {
        count_ = count;
        failed_ = false;
        SetEvent(event_);
    }
    void fail(DWORD error) {
        error_ = error;
        failed_ = true;
        SetEvent(event_);
    }

    // The end of the call just started (started: what starting it returned). The watch is asked
    // at least every 100 ms; its reason ends the wait, with the call still pending.
    bool await(BOOL started, const HttpWatch& watch, std::string& err) {
        if (!started) {
            err = lastErrorText();
            return false;
        }
        for (;;) {
            std::string why = watch.reason();
            if (!why.empty()) {
                err = why;
                return false;
            }
            DWORD woke = WaitForSingleObject(event_, 100);
            if (woke == WAIT_OBJECT_0) break;
            if (woke != WAIT_TIMEOUT) {
                err = lastErrorText();
                return false;
            }
        }
        if (!failed_) return true;
        SetLastError(error_);
        err = lastErrorText();
        return false;
    }
    DWORD count() const { return count_; }

    std::vector<char> buf = std::vector<char>(64 * 1024);

private:
    ~Pending() {
        if (event_) CloseHandle(event_);
    }

    HANDLE event_;
    std::atomic<int> owners_{1};
    // Written by the callback before it sets event_, read after the wait saw it set.
    DWORD count_ = 0, error_ = 0;
    bool failed_ = false;
};

// The request handle's context is its Pending; other handles have none.
void CALLBACK onStatus(HINTERNET, DWORD_PTR context, DWORD code, void* info, DWORD length) {
    auto* p = reinterpret_cast<Pending*>(context);
    if (!p) return;
    switch (code) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        p->complete(0);
        break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
        p->complete(*static_cast<DWORD*>(info));
        break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        p->complete(length);
        break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
        p->fail(static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError);
        break;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
        p->release();
        break;
    default:
        break;
    }
}

// --- handles -------------------------------------------------------------------------------------

// Closes the request, the connection and the session, in that order, then lets go of the
// request's Pending (which the request handle may hold on to a little longer).
struct Handles {
    HINTERNET session = nullptr, connection = nullptr, request = nullptr;
    Pending* pending = new Pending;
    Handles() = default;
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;
    ~Handles() {
        for (HINTERNET h : {request, connection, session})
            if (h) WinHttpCloseHandle(h);
        pending->release();
    }
};

HINTERNET openSession(const std::string& userAgent) {
    std::wstring agent = toWide(userAgent);
    HINTERNET s = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                              WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    // Automatic proxy discovery needs Windows 8.1; older systems take the registry's setting.
    if (!s)
        s = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                        WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    const DWORD events = WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES;
    if (s && WinHttpSetStatusCallback(s, onStatus, events, 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
        const DWORD why = GetLastError();
        WinHttpCloseHandle(s);
        SetLastError(why);
        return nullptr;
    }
    return s;
}

// Opens the request with its Pending as context; from then on the handle holds the Pending too.
bool openRequest(Handles& h, const Address& a) {
    h.connection = WinHttpConnect(h.session, a.host.c_str(), a.port, 0);
    if (!h.connection) return false;
    h.request =
        WinHttpOpenRequest(h.connection, L"GET", a.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                           WINHTTP_DEFAULT_ACCEPT_TYPES, a.secure ? WINHTTP_FLAG_SECURE : 0);
    if (!h.request) return false;
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(h.pending);
    if (!WinHttpSetOption(h.request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context))
        return false;
    h.pending->addOwner();
    return true;
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
// answer is read in few calls; each read asks for exactly what is waiting. The buffer is the
// Pending's, as a read ended by the watch may still fill it.
bool readBody(HINTERNET request, Pending& p, const HttpWatch& watch, std::string& err,
              const HttpDataFn& onData) {
    for (;;) {
        if (!p.await(WinHttpQueryDataAvailable(request, nullptr), watch, err)) return false;
        const DWORD available = p.count();
        if (available == 0) return true;
        if (available > p.buf.size()) p.buf.resize(available);
        if (!p.await(WinHttpReadData(request, p.buf.data(), available, nullptr), watch, err))
            return false;
        const DWORD got = p.count();
        if (got == 0) return true;
        if (!onData(p.buf.data(), got)) return false;
    }
}

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
    if (!h.pending->ready()) {
        err = lastErrorText();
        return false;
    }
    h.session = openSession(userAgent);
    // The request takes the session's time-outs when it is opened.
    if (h.session) WinHttpSetTimeouts(h.session, 5000, 5000, 5000, receiveTimeoutMs);
    if (!h.session || !openRequest(h, a)) {
        err = lastErrorText();
        return false;
    }
    Pending& p = *h.pending;
    const std::wstring extra = toWide(headers);
    if (!p.await(WinHttpSendRequest(h.request,
                                    extra.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : extra.c_str(),
                                    extra.empty() ? 0 : DWORD(-1L), WINHTTP_NO_REQUEST_DATA, 0, 0,
                                    reinterpret_cast<DWORD_PTR>(&p)),
                 watch, err) ||
        !p.await(WinHttpReceiveResponse(h.request, nullptr), watch, err))
        return false;
    readStatusAndLength(h.request, status, contentLength);
    return readBody(h.request, p, watch, err, onData);
}

} // namespace plat
