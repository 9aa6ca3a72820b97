// UTF-8 inside the launcher, UTF-16 at the Windows calls: the two conversions, and the Windows
// header with the few settings every file of this backend wants.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace plat::win {

// Invalid sequences become U+FFFD rather than cutting the text short.
std::wstring toWide(const std::string& utf8);
std::string toUtf8(const std::wstring& utf16);
std::string toUtf8(const wchar_t* utf16, size_t count);

} // namespace plat::win
