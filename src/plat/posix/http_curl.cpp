// The shared HTTP request routine on libcurl.
//
// libcurl is opened on first use instead of being linked: the thirty-odd libraries it brings
// (TLS, Kerberos, LDAP, SSH) took about 5 ms of every start before main, before the window could
// open, and the first request is made on a worker thread. A system without libcurl still starts
// the launcher and plays the game; only its requests fail, with the loader's reason.
//
// Sections: library set-up · the address · response headers and body · the request
//
// curl's header callback sees the headers of every response of a redirect chain (and of interim
// 1xx answers), so each status line starts the record afresh: what remains when the body begins
// is the final response's status and Content-Length.
//
// The receive time-out is a limit on silence, as a per-receive time-out is: the transfer ends when
// nothing at all arrived for that long. curl's low-speed limit would also end a slow but steady
// answer (one byte a second averages just under its one byte a second), so the progress callback,
// which curl calls about once a second even while nothing arrives, keeps the watch instead. It
// watches the caller's stop flag and time limit too, so that neither waits for the next byte.
#include "plat/http.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace plat {
namespace {

// --- library set-up ------------------------------------------------------------------------------

// The entry points in use, looked up once. curl_easy_setopt and curl_easy_getinfo are variadic;
// they are called through pointers of the same type.
struct CurlApi {
    CURLcode (*global_init)(long);
    CURL* (*easy_init)();
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
    CURLcode (*easy_perform)(CURL*);
    CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
    void (*easy_cleanup)(CURL*);
    const char* (*easy_strerror)(CURLcode);
    void (*free)(void*);
    curl_slist* (*slist_append)(curl_slist*, const char*);
    void (*slist_free_all)(curl_slist*);
    CURLU* (*url)();
    void (*url_cleanup)(CURLU*);
    CURLUcode (*url_get)(const CURLU*, CURLUPart, char**, unsigned int);
    CURLUcode (*url_set)(CURLU*, CURLUPart, const char*, unsigned int);
};

CurlApi api;
std::string apiError; // empty once the library is open and initialised
std::once_flag apiOnce;

template <typename Fn> bool lookUp(void* lib, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(dlsym(lib, name));
    if (!fn) apiError = std::string("libcurl lacks ") + name;
    return fn != nullptr;
}

void openCurl() {
    void* lib = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = dlerror();
        apiError = std::string("libcurl could not be loaded: ") + (why ? why : "libcurl.so.4");
        return;
    }
    CurlApi a{};
    if (!lookUp(lib, "curl_global_init", a.global_init) ||
        !lookUp(lib, "curl_easy_init", a.easy_init) ||
        !lookUp(lib, "curl_easy_setopt", a.easy_setopt) ||
        !lookUp(lib, "curl_easy_perform", a.easy_perform) ||
        !lookUp(lib, "curl_easy_getinfo", a.easy_getinfo) ||
        !lookUp(lib, "curl_easy_cleanup", a.easy_cleanup) ||
        !lookUp(lib, "curl_easy_strerror", a.easy_strerror) || !lookUp(lib, "curl_free", a.free) ||
        !lookUp(lib, "curl_slist_append", a.slist_append) ||
        !lookUp(lib, "curl_slist_free_all", a.slist_free_all) || !lookUp(lib, "curl_url", a.url) ||
        !lookUp(lib, "curl_url_cleanup", a.url_cleanup) ||
        !lookUp(lib, "curl_url_get", a.url_get) || !lookUp(lib, "curl_url_set", a.url_set))
        return;
    const CURLcode rc = a.global_init(CURL_GLOBAL_DEFAULT);
    if (rc != CURLE_OK) {
        apiError = a.easy_strerror(rc);
        return;
    }
    api = a;
}

// The library, ready for requests; false with err set when it cannot be had.
bool curlReady(std::string& err) {
    std::call_once(apiOnce, openCurl);
    if (apiError.empty()) return true;
    err = apiError;
    return false;
}

// --- the address ---------------------------------------------------------------------------------

std::string lowered(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The scheme, lowercased, when the URL is an http or https address with a host; else empty.
std::string webScheme(const std::string& url) {
    size_t colon = url.find("://");
    if (colon == std::string::npos) return {};
    std::string scheme = lowered(url.substr(0, colon));
    if (scheme != "http" && scheme != "https") return {};
    CURLU* parts = api.url();
    if (!parts) return {};
    char* host = nullptr;
    bool ok = api.url_set(parts, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
              api.url_get(parts, CURLUPART_HOST, &host, 0) == CURLUE_OK && host && *host;
    api.free(host);
    api.url_cleanup(parts);
    return ok ? scheme : std::string();
}

// --- response headers and body -------------------------------------------------------------------

using Clock = std::chrono::steady_clock;

struct Transfer {
    long* status;
    unsigned long long* contentLength;
    const HttpDataFn* onData;
    Clock::duration silenceLimit;
    const HttpWatch* watch;
    Clock::time_point lastHeard = Clock::now();
    bool stoppedByCallback = false;
    bool silent = false;
    std::string cancelled{}; // the watch's reason, once it ended the transfer
};

bool startsWithNoCase(const char* text, size_t len, const char* prefix) {
    size_t n = strlen(prefix);
    if (len < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

unsigned long long leadingNumber(const char* text, size_t len) {
    size_t i = 0;
    while (i < len && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    unsigned long long value = 0;
    for (; i < len && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

size_t onHeader(char* line, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t len = size * count;
    t->lastHeard = Clock::now();
    if (startsWithNoCase(line, len, "http/")) {
        const char* blank = static_cast<const char*>(memchr(line, ' ', len));
        *t->status = blank ? long(leadingNumber(blank, len - size_t(blank - line))) : 0;
        *t->contentLength = 0;
    } else if (startsWithNoCase(line, len, "content-length:")) {
        size_t skip = strlen("content-length:");
        *t->contentLength = leadingNumber(line + skip, len - skip);
    }
    return len;
}

size_t onBody(char* bytes, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t len = size * count;
    t->lastHeard = Clock::now();
    if ((*t->onData)(bytes, len)) return len;
    t->stoppedByCallback = true;
#ifdef CURL_WRITEFUNC_ERROR
    return CURL_WRITEFUNC_ERROR;
#else
    return len == 0 ? 1 : 0; // any count other than len fails the transfer
#endif
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    t->cancelled = t->watch->reason();
    if (!t->cancelled.empty()) return 1; // ends the transfer
    if (Clock::now() - t->lastHeard < t->silenceLimit) return 0;
    t->silent = true;
    return 1; // ends the transfer
}

// curl's own words: the error buffer names the host, the port or the certificate problem, which
// the bare code's text does not; the code's text stands in when the buffer stayed empty.
std::string curlErrorText(CURLcode rc, const char* buffer) {
    std::string text = buffer[0] ? buffer : api.easy_strerror(rc);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(int(rc)) : text;
}

void setProtocols(CURL* curl, bool secure) {
    // An https address never follows a redirect down to plain http.
#if LIBCURL_VERSION_NUM >= 0x075500
    const char* allowed = secure ? "https" : "http,https";
    api.easy_setopt(curl, CURLOPT_PROTOCOLS_STR, allowed);
    api.easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, allowed);
#else
    long allowed = secure ? CURLPROTO_HTTPS : (CURLPROTO_HTTP | CURLPROTO_HTTPS);
    api.easy_setopt(curl, CURLOPT_PROTOCOLS, allowed);
    api.easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS, allowed);
#endif
}

curl_slist* headerList(const std::string& block) {
    curl_slist* list = nullptr;
    size_t i = 0;
    while (i < block.size()) {
        size_t end = block.find("\r\n", i);
        if (end == std::string::npos) end = block.size();
        if (end > i) list = api.slist_append(list, block.substr(i, end - i).c_str());
        i = end + 2;
    }
    return list;
}

} // namespace

// --- the request ---------------------------------------------------------------------------------

bool httpRequest(const std::string& url, const std::string& userAgent, const std::string& headers,
                 int receiveTimeoutMs, long& status, unsigned long long& contentLength,
                 std::string& err, const HttpDataFn& onData, const HttpCancel& cancel) {
    const HttpWatch watch(cancel);
    status = 0;
    contentLength = 0;
    if (!curlReady(err)) return false;
    std::string scheme = webScheme(url);
    if (scheme.empty()) {
        err = "bad URL";
        return false;
    }
    CURL* curl = api.easy_init();
    if (!curl) {
        err = api.easy_strerror(CURLE_FAILED_INIT);
        return false;
    }
    Transfer t{&status, &contentLength, &onData, std::chrono::milliseconds(receiveTimeoutMs),
               &watch};
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_slist* list = headerList(headers);
    const std::string caFile = httpTestCaFile();

    api.easy_setopt(curl, CURLOPT_URL, url.c_str());
    api.easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    api.easy_setopt(curl, CURLOPT_USERAGENT, userAgent.c_str());
    api.easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    api.easy_setopt(curl, CURLOPT_NOSIGNAL, 1L); // worker threads: no SIGALRM for time-outs
    api.easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    setProtocols(curl, scheme == "https");
    api.easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    api.easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    api.easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    api.easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.empty()) api.easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    api.easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 5000L); // name resolution and connect
    api.easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    api.easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    api.easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    // Measured on loopback: 128 KiB receives reached 0.8 of the curl tool's rate, 512 KiB 1.15.
    api.easy_setopt(curl, CURLOPT_BUFFERSIZE, 512L * 1024L);
    api.easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    api.easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    api.easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    api.easy_setopt(curl, CURLOPT_WRITEDATA, &t);

    CURLcode rc = api.easy_perform(curl);
    bool ok = rc == CURLE_OK;
    if (ok) {
        long final = 0;
        if (api.easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &final) == CURLE_OK) status = final;
    } else if (!t.cancelled.empty()) {
        err = t.cancelled;
    } else if (t.silent) {
        err = std::string(api.easy_strerror(CURLE_OPERATION_TIMEDOUT)) + ": nothing received for " +
              std::to_string(receiveTimeoutMs / 1000) + " seconds";
    } else if (!(rc == CURLE_WRITE_ERROR && t.stoppedByCallback)) {
        err = curlErrorText(rc, errorBuffer);
    }
    api.easy_cleanup(curl);
    api.slist_free_all(list);
    return ok;
}

} // namespace plat
