// The command line on Windows: quoteArg's output read back by a real child through the system's
// own splitter (CommandLineToArgvW, as plat::commandLineArgs uses it), and lastErrorText.
#include "plat/process.h"
#include "plat/win32/wide.h"
#include "win/win_support.h"

#include <gtest/gtest.h>

#include <random>

using Lines = std::vector<std::string>;

namespace {

Lines echoed(const Lines& args) {
    Lines commands = {"args"};
    commands.insert(commands.end(), args.begin(), args.end());
    Lines lines = wintest::capture(commands);
    for (std::string& l : lines)
        if (l.size() >= 2 && l.front() == '[' && l.back() == ']') l = l.substr(1, l.size() - 2);
    return lines;
}

} // namespace

TEST(CommandLine, ArgumentsRoundTripThroughAChild) {
    const std::vector<Lines> lists = {
        {""},
        {"", "", ""},
        {"a b", "c\td", "e"},
        {"end\\", "end \\", "end \\\\", "\\"},
        {"\\\"", "\\\\\"", "\\\\\\\"x", "x\\\\\\\\\" y"},
        {"\"quoted\"", "  leading", "trailing  ", "\t"},
        {"ünïcødé 日本", "emoji 🎮", "C:\\Users\\Zoë\\Quillmere disc.iso"},
        {"--elf", "C:\\Q M\\game\\SQMU_404.20", "--iso", "C:\\Q M\\game\\disc.iso"},
        {"C:\\Program Files\\QM\\", "--release", "D:\\クイルミア\\"},
    };
    for (const Lines& args : lists)
        EXPECT_EQ(echoed(args), args);
}

TEST(CommandLine, RandomArgumentsOfTheAwkwardCharactersRoundTrip) {
    const std::vector<std::string> alphabet = {"a", " ", "\t", "\"", "\\", "é", "日"};
    std::mt19937 random(20240611);
    for (int round = 0; round < 12; ++round) {
        Lines args(1 + random() % 6);
        for (std::string& a : args)
            for (unsigned len = random() % 9; len > 0; --len)
                a += alphabet[random() % alphabet.size()];
        ASSERT_EQ(echoed(args), args) << "round " << round;
    }
}

TEST(LastErrorText, IsTheSystemsSentenceOrTheNumber) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    std::string text = plat::lastErrorText();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.rfind("error ", 0), std::string::npos) << text;
    for (char c : {'.', '\r', '\n'})
        EXPECT_NE(text.back(), c) << text;
    // Codes the system has no sentence for: WinHTTP's, and one of the application range.
    const std::pair<DWORD, const char*> numbers[] = {{12029, "error 12029"},
                                                     {0x20000001, "error 536870913"}};
    for (const auto& [code, want] : numbers) {
        SetLastError(code);
        EXPECT_EQ(plat::lastErrorText(), want);
    }
}
