// Arguments, environment, language and the error box on Windows.
#include "plat/env.h"

#include "plat/win32/wide.h"

#include <shellapi.h>

#include <cstdlib>

namespace plat {

std::vector<std::string> commandLineArgs(int, char**) {
    // The runtime's argv went through the ANSI code page; the system's own split keeps every
    // character.
    std::vector<std::string> args;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 1; i < count; ++i)
        args.push_back(win::toUtf8(argv[i]));
    LocalFree(argv);
    return args;
}

std::string getEnv(const char* name) {
    std::wstring wname = win::toWide(name);
    std::wstring value(256, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        DWORD n = GetEnvironmentVariableW(wname.c_str(), value.data(), DWORD(value.size()));
        if (n == 0) return {};
        if (n < value.size()) {
            value.resize(n);
            return win::toUtf8(value);
        }
        value.resize(n); // n is the size needed, the terminating zero included
    }
}

void setEnv(const char* name, const std::string& value) {
    std::wstring wname = win::toWide(name);
    // The runtime keeps a copy of the environment of its own: both must agree, and children
    // inherit the system's block, which _wputenv updates too.
    std::wstring entry = wname + L"=" + win::toWide(value);
    _wputenv(entry.c_str());
    SetEnvironmentVariableW(wname.c_str(), value.empty() ? nullptr : win::toWide(value).c_str());
}

std::string systemLanguage() {
    LANGID lang = GetUserDefaultUILanguage();
    return (lang & 0x3ff) == LANG_FRENCH ? "fr" : "en";
}

void errorBox(const std::string& title, const std::string& text) {
    MessageBoxW(nullptr, win::toWide(text).c_str(), win::toWide(title).c_str(),
                MB_OK | MB_ICONERROR);
}

} // namespace plat
