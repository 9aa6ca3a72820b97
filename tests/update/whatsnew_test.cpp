// What's new: cutting a version's section · display entries · inline Markdown · huge input.
#include "support/temp_dir.h"
#include "update/whatsnew.h"

#include <gtest/gtest.h>

namespace {

const char* const kChangelog = "# Changelog\n"
                               "Text before any version.\n"
                               "\n"
                               "## [0.7.0] - 2025-02-01\n"
                               "\n"
                               "### Added\n"
                               "- The **new** `kit`\n"
                               "\n"
                               "## [0.6.1] - 2024-12-24\n"
                               "- Fixed the thing\n"
                               "  on two lines\n"
                               "[0.7.0]: https://example.invalid/compare/0.6.1...0.7.0\n"
                               "[0.6.1]: https://example.invalid/compare/0.6.0...0.6.1\n";

struct CutCase {
    const char* name;
    std::string content;
    const char* version;
    const char* expected;
};

TEST(CutChangelogSection, Sections) {
    const CutCase cases[] = {
        {"second section only", kChangelog, "0.6.1", "- Fixed the thing\n  on two lines"},
        {"first section stops at the next heading", kChangelog, "0.7.0",
         "### Added\n- The **new** `kit`"},
        {"no section for the version", kChangelog, "0.6.0", ""},
        {"text before the first heading never shown", "intro\n## 1.0.0\nx\n", "", ""},
        {"plain heading", "## 0.7.0\nx\n", "0.7.0", "x"},
        {"heading with v", "## v0.7.0\nx\n", "0.7.0", "x"},
        {"bracketed heading with V", "## [V0.7.0]\nx\n", "0.7.0", "x"},
        {"version with v", "## 0.7.0\nx\n", "v0.7.0", "x"},
        {"version with V, heading with v", "## v0.7.0\nx\n", "V0.7.0", "x"},
        {"blanks and brackets skipped", "##  [ [0.7.0]]\nx\n", "0.7.0", "x"},
        {"tab ends the token", "## 0.7.0\t2025\nx\n", "0.7.0", "x"},
        {"token is matched whole", "## 0.7.0-beta\nx\n", "0.7.0", ""},
        {"prefix of the token does not match", "## 0.7.0\nx\n", "0.7", ""},
        {"no blank after the hashes", "##0.7.0\nx\n## 0.7.0\ny\n", "0.7.0", "y"},
        {"tab after the hashes is no heading", "##\t0.7.0\nx\n## 0.7.0\ny\n", "0.7.0", "y"},
        {"third-level heading stays inside", "## 1.0\n### Fixed\n## 2.0\n", "1.0", "### Fixed"},
        {"third-level version heading stays inside", "## 1.0\na\n### 2.0\nb\n", "1.0",
         "a\n### 2.0\nb"},
        {"first-level heading stays inside", "## 1.0\na\n# Title\nb\n", "1.0", "a\n# Title\nb"},
        {"link definitions dropped", "## 1.0\n[1.0]: https://x\n[a] b\n[x]:y\n", "1.0",
         "[a] b\n[x]:y"},
        {"indented link definition kept", "## 1.0\n [1.0]: https://x\n", "1.0", "[1.0]: https://x"},
        {"CR LF line ends", "## 1.0\r\na\r\n\r\nb\r\n## 0.9\r\n", "1.0", "a\n\nb"},
        {"inner blank lines kept, outer trimmed", "## 1.0\n\n \t\na\n\n\nb \t\n\n", "1.0",
         "a\n\n\nb"},
        {"empty section", "## 1.0\n\n## 0.9\nx\n", "1.0", ""},
        {"empty token matches an empty version", "## [ ]\nx\n## 1.0\ny\n", "", "x"},
        {"empty token does not match a version", "## \nx\n", "1.0", ""},
        {"later heading of the same version ignored", "## 1.0\na\n## 1.0\nb\n", "1.0", "a"},
        {"empty file", "", "1.0", ""},
    };
    TempDir dir;
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(cutChangelogSection(dir.write("CHANGELOG.md", c.content), c.version), c.expected);
    }
}

TEST(CutChangelogSection, MissingFile) {
    TempDir dir;
    EXPECT_EQ(cutChangelogSection(dir.file("CHANGELOG.md"), "0.6.1"), "");
}

// ---- display entries ------------------------------------------------------------------------

using Kind = ChangelogLine::Kind;
struct Entry {
    Kind kind;
    std::string text;
    bool operator==(const Entry&) const = default;
};

std::vector<Entry> entries(const std::string& text) {
    std::vector<Entry> out;
    for (const ChangelogLine& line : changelogDisplayLines(text))
        out.push_back({line.kind, line.text});
    return out;
}

void PrintTo(const Entry& e, std::ostream* os) {
    const char* kinds[] = {"Gap", "Heading", "Paragraph"};
    *os << kinds[e.kind] << "(\"" << e.text << "\")";
}

const char* const kBullet = "\xE2\x80\xA2 ";

TEST(ChangelogDisplayLines, Entries) {
    const std::string b = kBullet;
    struct Case {
        const char* text;
        std::vector<Entry> expected;
    };
    const Case cases[] = {
        {"plain", {{Kind::Paragraph, "plain"}}},
        {"- The **new** `kit`", {{Kind::Paragraph, b + "The new kit"}}},
        {"- first part\n  second part", {{Kind::Paragraph, b + "first part second part"}}},
        {"- a\n  b\n      c", {{Kind::Paragraph, b + "a b c"}}},
        {"- a\n  - nested", {{Kind::Paragraph, b + "a - nested"}}},
        {"- a\n b", {{Kind::Paragraph, b + "a"}, {Kind::Paragraph, " b"}}},
        {"para\n\n### Fixed\n- bug",
         {{Kind::Paragraph, "para"},
          {Kind::Gap, ""},
          {Kind::Heading, "Fixed"},
          {Kind::Paragraph, b + "bug"}}},
        {"### **Big** `news`", {{Kind::Heading, "Big news"}}},
        {"### Fixed\n  more", {{Kind::Heading, "Fixed more"}}},
        {"### ", {{Kind::Heading, ""}}},
        {"###", {{Kind::Paragraph, "###"}}},
        {"####", {{Kind::Paragraph, "####"}}},
        {"-no blank", {{Kind::Paragraph, "-no blank"}}},
        {"  indented first", {{Kind::Paragraph, "  indented first"}}},
        {"a\n\n  b", {{Kind::Paragraph, "a"}, {Kind::Gap, ""}, {Kind::Paragraph, "  b"}}},
        {"a\n   \nb", {{Kind::Paragraph, "a"}, {Kind::Gap, ""}, {Kind::Paragraph, "b"}}},
        {"\t- tab", {{Kind::Paragraph, "\t- tab"}}},
        {"a\n", {{Kind::Paragraph, "a"}, {Kind::Gap, ""}}},
        {"", {{Kind::Gap, ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(entries(c.text), c.expected);
    }
}

// ---- inline Markdown ------------------------------------------------------------------------

TEST(StripInlineMarkdown, Rules) {
    const std::pair<const char*, const char*> cases[] = {
        {"plain text", "plain text"},
        {"the `kit`", "the kit"},
        {"**bold**", "bold"},
        {"*it*", "*it*"},
        {"***x***", "*x*"},
        {"****", ""},
        {"[text](https://x)", "text"},
        {"see [the docs](https://a/b) now", "see the docs now"},
        {"[a](u) and [b](v)", "a and b"},
        {"[a]b](u)", "a]b"},
        {"[a] (u)", "[a] (u)"},
        {"[a](u", "[a](u"},
        {"[a", "[a"},
        {"[](u)", ""},
        {"[a](u)(v)", "a(v)"},
        {"[a](b)c)", "ac)"},
        {"[a [b](u)", "a [b"},
        {"[**a**](u)", "a"},
        {"`[a](u)`", "a"},
        {"](x) [y", "](x) [y"},
        {"[x](", "[x]("},
        {"caf\xC3\xA9 \xE2\x80\xA2 ok", "caf\xC3\xA9 \xE2\x80\xA2 ok"},
    };
    for (const auto& [line, expected] : cases) {
        SCOPED_TRACE(line);
        EXPECT_EQ(stripInlineMarkdown(line), expected);
    }
}

// ---- huge input ---------------------------------------------------------------------------
// These finish at once when the work is linear and would not finish at all when it is
// quadratic; no time is measured.

TEST(HugeInput, ManyOpeningBracketsWithoutLinks) {
    std::string line;
    for (int i = 0; i < 1000000; ++i)
        line += "[](";
    EXPECT_EQ(stripInlineMarkdown(line), line);
}

TEST(HugeInput, OneLinkWithAHugeText) {
    const std::string text(4000000, '[');
    EXPECT_EQ(stripInlineMarkdown(text + "](u)"), text.substr(1));
}

TEST(HugeInput, FiftyMegabyteChangelog) {
    TempDir dir;
    std::string content = "## 1.0\n";
    const std::string line = "- item with **bold** text and a [link](https://x) here\n";
    while (content.size() < (50u << 20))
        content += line;
    const std::string path = dir.write("CHANGELOG.md", content);
    const std::string section = cutChangelogSection(path, "1.0");
    EXPECT_EQ(section.size(), content.size() - 8); // without the heading and the last LF
    const std::vector<ChangelogLine> lines = changelogDisplayLines(section);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, std::string(kBullet) + "item with bold text and a link here");

    // One entry continued by many indented lines.
    std::string continued = "- start\n";
    while (continued.size() < (20u << 20))
        continued += "  more\n";
    continued.pop_back();
    const std::vector<ChangelogLine> one = changelogDisplayLines(continued);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].text.substr(0, 14), std::string(kBullet) + "start more");
}

} // namespace
