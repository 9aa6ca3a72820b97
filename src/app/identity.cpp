// Release identity: the compiled-in commit · release.ini lines · version numbers.
#include "app/identity.h"

#include "app/scan.h"
#include "app/textfile.h"

#include <string_view>

const char* launcherCommit() {
    return kLauncherCommit;
}

namespace {

// One line of an identity file: true (go on) unless it defines key, whose value it then takes.
bool takeIniLine(std::string_view line, const std::string& key, std::string& result) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t eq = line.find('=');
    if (eq == std::string_view::npos || line[0] == '#') return true;
    std::string_view name = line.substr(0, eq);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.remove_suffix(1);
    if (name != key) return true;
    std::string_view value = line.substr(eq + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    result.assign(value);
    return false;
}

} // namespace

std::string readIniValue(const std::string& path, const std::string& key) {
    std::string result;
    forEachLine(path, [&](std::string_view line) { return takeIniLine(line, key, result); });
    return result;
}

std::string readIniValueText(std::string_view text, const std::string& key) {
    std::string result;
    forEachLineOfText(text, [&](std::string_view line) { return takeIniLine(line, key, result); });
    return result;
}

bool parseVersion(const std::string& text, int& major, int& minor, int& patch,
                  std::string& suffix) {
    std::string_view rest = text;
    if (!rest.empty() && (rest[0] == 'v' || rest[0] == 'V')) rest.remove_prefix(1);
    rest = rest.substr(0, rest.find('+'));
    std::string_view core = rest;
    suffix.clear();
    if (size_t dash = rest.find('-'); dash != std::string_view::npos) {
        core = rest.substr(0, dash);
        suffix.assign(rest.substr(dash + 1));
    }
    // "%d.%d.%d": the dots must follow the numbers directly, blanks may precede a number.
    int* parts[3] = {&major, &minor, &patch};
    size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (pos >= core.size() || core[pos] != '.') return false;
            ++pos;
        }
        if (scanInt(core, pos, *parts[i]) != ScanResult::Ok) return false;
    }
    return true;
}

bool isNewerVersion(const std::string& candidate, const std::string& own) {
    int c[3], o[3];
    std::string cSuffix, oSuffix;
    if (!parseVersion(candidate, c[0], c[1], c[2], cSuffix)) return false;
    if (!parseVersion(own, o[0], o[1], o[2], oSuffix)) return true;
    for (int i = 0; i < 3; ++i)
        if (c[i] != o[i]) return c[i] > o[i];
    if (cSuffix.empty() != oSuffix.empty()) return cSuffix.empty();
    // std::string compares through char_traits<char>, which orders by unsigned byte.
    return cSuffix > oSuffix;
}
