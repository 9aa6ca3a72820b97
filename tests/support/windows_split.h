// An independent splitter of command lines by the documented rules of Windows programs (the MSVC
// runtime, CommandLineToArgvW), that plat::quoteArg is checked against in the tests and the fuzz
// target.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Arguments after the program's name: blanks and tabs separate outside quotes; 2n backslashes
// and a quote give n backslashes and the quote toggles quoting; 2n + 1 backslashes and a quote
// give n backslashes and a literal quote; other backslashes are literal.
inline std::vector<std::wstring> splitCommandLine(const std::wstring& line) {
    std::vector<std::wstring> args;
    std::size_t i = 0, n = line.size();
    for (;;) {
        while (i < n && (line[i] == L' ' || line[i] == L'\t'))
            ++i;
        if (i >= n) return args;
        std::wstring arg;
        bool quoted = false;
        while (i < n && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
            std::size_t slashes = 0;
            while (i < n && line[i] == L'\\') {
                ++slashes;
                ++i;
            }
            if (i < n && line[i] == L'"') {
                arg.append(slashes / 2, L'\\');
                if (slashes % 2)
                    arg += L'"';
                else
                    quoted = !quoted;
                ++i;
            } else if (slashes > 0) {
                arg.append(slashes, L'\\');
            } else {
                arg += line[i++];
            }
        }
        args.push_back(arg);
    }
}
