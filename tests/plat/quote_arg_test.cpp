// quoteArg against an independent splitter that follows the documented rules by which Windows
// programs (the MSVC runtime, CommandLineToArgvW) split a command line into arguments; and
// lastErrorText.
#include "plat/process.h"
#include "support/windows_split.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <random>

namespace {

std::wstring joinQuoted(const std::vector<std::wstring>& args) {
    std::wstring line;
    for (const auto& a : args)
        line += (line.empty() ? L"" : L" ") + plat::quoteArg(a);
    return line;
}

} // namespace

TEST(QuoteArg, ProducesTheExpectedForm) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"plain", L"plain"},
        {L"C:\\Games\\QM\\qm.exe", L"C:\\Games\\QM\\qm.exe"},
        {L"trailing\\", L"trailing\\"},
        {L"", L"\"\""},
        {L"a b", L"\"a b\""},
        {L"a\tb", L"\"a\tb\""},
        {L"a\nb", L"\"a\nb\""},
        {L"a\vb", L"\"a\vb\""},
        {L"C:\\Program Files\\QM\\", L"\"C:\\Program Files\\QM\\\\\""},
        {L"say \"hi\"", L"\"say \\\"hi\\\"\""},
        {L"a\\\"b", L"\"a\\\\\\\"b\""},
        {L"a\\b c", L"\"a\\b c\""},
        {L"\"", L"\"\\\"\""},
        {L"\\\\ \\\\", L"\"\\\\ \\\\\\\\\""},
        {L"é ü", L"\"é ü\""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(plat::quoteArg(in), out);
}

TEST(QuoteArg, RoundTripsThroughTheWindowsSplittingRules) {
    std::vector<std::vector<std::wstring>> lists = {
        {L""},
        {L"", L"", L""},
        {L"a b", L"c\td", L"e"},
        {L"end\\", L"end \\", L"end \\\\", L"\\"},
        {L"\\\"", L"\\\\\"", L"\\\\\\\"x", L"x\\\\\\\\\" y"},
        {L"\"quoted\"", L"  leading", L"trailing  ", L"\t"},
        {L"ünïcødé 日本", L"emoji 🎮", L"C:\\Users\\Zoë\\Quillmere disc.iso"},
        {L"--elf", L"C:\\Q M\\game\\SQMU_404.20", L"--iso", L"C:\\Q M\\game\\disc.iso"},
    };
    for (const auto& args : lists)
        EXPECT_EQ(splitCommandLine(joinQuoted(args)), args) << joinQuoted(args).size();
}

TEST(QuoteArg, RoundTripsRandomArgumentsOfTheAwkwardCharacters) {
    const std::wstring alphabet = L"ab \t\"\\é\n";
    std::mt19937 random(20240611);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::wstring> args(1 + random() % 4);
        for (auto& a : args)
            for (unsigned len = random() % 9; len > 0; --len)
                a += alphabet[random() % alphabet.size()];
        ASSERT_EQ(splitCommandLine(joinQuoted(args)), args) << "round " << round;
    }
}

TEST(LastErrorText, IsTheSystemsTextOrTheNumber) {
    const std::pair<int, const char*> cases[] = {
        {ENOENT, "No such file or directory"},
        {EACCES, "Permission denied"},
        {ENOEXEC, "Exec format error"},
        {123456, "error 123456"},
        {-5, "error -5"},
    };
    for (const auto& [code, text] : cases) {
        errno = code;
        EXPECT_EQ(plat::lastErrorText(), text) << code;
    }
}
