// The system's text for the calling thread's last error (GetLastError).
#include "plat/process.h"

#include "plat/win32/wide.h"

namespace plat {

std::string lastErrorText() {
    DWORD code = GetLastError();
    wchar_t* buf = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::string text;
    if (n > 0 && buf) text = win::toUtf8(buf, n);
    if (buf) LocalFree(buf);
    // The system's messages are sentences with a line end; ours are embedded in longer texts.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) return "error " + std::to_string(code);
    return text;
}

} // namespace plat
