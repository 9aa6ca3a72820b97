// The "What's new" text: the section of CHANGELOG.md for one version, and how it is laid out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The lines under the version heading ("## [0.7.0] - date", "## 0.7.0", "## v0.7.0") of version,
// up to the next version heading, without link definitions and trimmed; empty when the file or
// the section is missing. A leading "v" on either side is ignored.
std::string cutChangelogSection(const std::string& path, const std::string& version);
// The same, from the changelog's text already in memory.
std::string cutChangelogText(std::string_view text, const std::string& version);

struct ChangelogLine {
    enum Kind { Gap, Heading, Paragraph };
    Kind kind = Gap;
    std::string text; // plain text; a bullet is a paragraph that starts with "• "
};

// The display entries of a section: indented lines continue the entry above them.
std::vector<ChangelogLine> changelogDisplayLines(const std::string& text);

// Drops backquotes, pairs of asterisks and link targets ("[text](address)" shows as text).
std::string stripInlineMarkdown(const std::string& line);
