// plat::quoteArg against the tests' independent splitter of Windows command lines: any list of
// arguments, quoted and joined as the process runner joins them, splits back into the same list.
// Each input byte is one character (its Latin-1 code point); a zero byte separates two arguments.
#include "fuzz_support.h"
#include "plat/process.h"
#include "support/windows_split.h"

namespace {

std::string shown(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w)
        s += c < 0x80 ? char(c) : '?';
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::wstring> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += wchar_t(data[i]);
    }
    std::wstring line;
    for (const std::wstring& a : args) {
        const std::wstring quoted = plat::quoteArg(a);
        if (!a.empty() && a.find_first_of(L" \t\n\v\"") == std::wstring::npos)
            QM_FUZZ_EXPECT(quoted == a, shown(a));
        line += (line.empty() ? L"" : L" ") + quoted;
    }
    QM_FUZZ_EXPECT(splitCommandLine(line) == args, shown(line));
    return 0;
}
