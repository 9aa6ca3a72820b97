// What's new: cutting the section · display entries · inline Markdown.
#include "update/whatsnew.h"

#include "app/textfile.h"

#include <string_view>

namespace {

std::string_view dropLeadingV(std::string_view s) {
    if (!s.empty() && (s[0] == 'v' || s[0] == 'V')) s.remove_prefix(1);
    return s;
}

bool isVersionHeading(std::string_view line) {
    return line.substr(0, 3) == "## ";
}

// "## [0.7.0] - 2024-05-01" gives 0.7.0; "## v0.7.0" gives 0.7.0.
std::string_view headingToken(std::string_view line) {
    std::string_view rest = line.substr(3);
    size_t b = rest.find_first_not_of(" [");
    if (b == std::string_view::npos) return {};
    rest = rest.substr(b);
    rest = rest.substr(0, rest.find_first_of(" ]\t"));
    return dropLeadingV(rest);
}

bool isLinkDefinition(std::string_view line) {
    return !line.empty() && line[0] == '[' && line.find("]: ") != std::string_view::npos;
}

std::string trimSection(const std::string& text) {
    const char* blanks = " \t\n";
    size_t b = text.find_first_not_of(blanks);
    if (b == std::string::npos) return {};
    size_t e = text.find_last_not_of(blanks);
    return text.substr(b, e - b + 1);
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

ChangelogLine classify(const std::string& entry) {
    if (entry.empty()) return {ChangelogLine::Gap, {}};
    if (entry.size() > 3 && startsWith(entry, "### "))
        return {ChangelogLine::Heading, stripInlineMarkdown(entry.substr(4))};
    if (startsWith(entry, "- "))
        return {ChangelogLine::Paragraph, stripInlineMarkdown("\xE2\x80\xA2 " + entry.substr(2))};
    return {ChangelogLine::Paragraph, stripInlineMarkdown(entry)};
}

} // namespace

namespace {

// Collects the section of one version from the changelog's lines, fed one at a time.
class SectionCutter {
public:
    explicit SectionCutter(const std::string& version) : wanted_(dropLeadingV(version)) {}
    // False once the section has ended: the rest of the file does not matter.
    bool line(std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (isVersionHeading(line)) {
            if (open_) return false;
            open_ = headingToken(line) == wanted_;
            return true;
        }
        if (open_ && !isLinkDefinition(line)) {
            text_.append(line);
            text_ += '\n';
        }
        return true;
    }
    std::string text() const { return trimSection(text_); }

private:
    std::string_view wanted_;
    bool open_ = false;
    std::string text_;
};

} // namespace

std::string cutChangelogSection(const std::string& path, const std::string& version) {
    SectionCutter cut(version);
    forEachLine(path, [&](std::string_view line) { return cut.line(line); });
    return cut.text();
}

std::string cutChangelogText(std::string_view text, const std::string& version) {
    SectionCutter cut(version);
    forEachLineOfText(text, [&](std::string_view line) { return cut.line(line); });
    return cut.text();
}

std::vector<ChangelogLine> changelogDisplayLines(const std::string& text) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        size_t indent = line.find_first_not_of(' ');
        if (indent == std::string_view::npos) {
            entries.emplace_back();
        } else if (indent >= 2 && !entries.empty() && !entries.back().empty()) {
            entries.back() += ' ';
            entries.back().append(line.substr(indent));
        } else {
            entries.emplace_back(line);
        }
        start = end + 1;
    }
    std::vector<ChangelogLine> lines;
    lines.reserve(entries.size());
    for (const std::string& entry : entries)
        lines.push_back(classify(entry));
    return lines;
}

namespace {

// The first occurrence of a pattern at or after a position that only ever grows: each search
// starts where the last one ended, so all searches of one line together stay linear.
class ForwardFinder {
public:
    ForwardFinder(const std::string& text, const char* pattern) : text_(text), pattern_(pattern) {}
    size_t at(size_t from) {
        if (found_ != std::string::npos && found_ >= from) return found_;
        if (exhausted_) return std::string::npos;
        found_ = text_.find(pattern_, from);
        exhausted_ = found_ == std::string::npos;
        return found_;
    }

private:
    const std::string& text_;
    const char* pattern_;
    size_t found_ = std::string::npos;
    bool exhausted_ = false;
};

} // namespace

std::string stripInlineMarkdown(const std::string& line) {
    std::string out;
    out.reserve(line.size());
    ForwardFinder mids(line, "](");
    ForwardFinder closes(line, ")");
    size_t linkMid = std::string::npos; // inside a link's text: where its "](" stands
    size_t linkClose = 0;
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (i == linkMid) {
            i = linkClose + 1;
            linkMid = std::string::npos;
        } else if (c == '`') {
            ++i;
        } else if (c == '*' && i + 1 < line.size() && line[i + 1] == '*') {
            i += 2;
        } else if (c == '[' && linkMid == std::string::npos) {
            size_t mid = mids.at(i + 1);
            size_t close = mid == std::string::npos ? mid : closes.at(mid + 2);
            if (close != std::string::npos) {
                linkMid = mid;
                linkClose = close;
            } else {
                out += c;
            }
            ++i;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}
