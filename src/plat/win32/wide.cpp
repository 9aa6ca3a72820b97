// The UTF-8 / UTF-16 conversions of the Windows backend.
#include "plat/win32/wide.h"

namespace plat::win {

std::wstring toWide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

std::string toUtf8(const wchar_t* utf16, size_t count) {
    if (count == 0) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, utf16, int(count), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16, int(count), out.data(), n, nullptr, nullptr);
    return out;
}

std::string toUtf8(const std::wstring& utf16) {
    return toUtf8(utf16.data(), utf16.size());
}

} // namespace plat::win
