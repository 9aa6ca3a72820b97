// The progress protocol of the build script, the overall fraction and the time estimate.
//
// Sections: step table · protocol · figures
#include "prep/progress.h"

#include "prep/duration.h"
#include "ui/lang.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

// --- step table
// -----------------------------------------------------------------------------------

namespace {

struct StepInfo {
    const char* name;
    double weight; // expected share of the work; one unit is one second until a run shows better
    const char* en;
    const char* fr;
};

const StepInfo kSteps[] = {
    {"verify", 1, "Checking the disc", "Vérification du disque"},
    {"extract", 2, "Reading the disc's files", "Lecture des fichiers du disque"},
    {"configure", 60, "Configuring the build", "Configuration de la compilation"},
    {"tools", 7, "Preparing the recompiler", "Préparation du recompilateur"},
    {"recompile", 2, "Recompiling the game's code", "Recompilation du code du jeu"},
    {"packs", 280, "Converting textures", "Conversion des textures"},
    {"compile", 55, "Compiling (the long part)", "Compilation (la partie longue)"},
    {"stage", 1, "Assembling the game folder", "Assemblage du dossier du jeu"},
};

const double kWarmUpSeconds = 5;
const int kMinPercent = 5;
const double kMinSeenWeight = 20;
const double kMinRate = 0.25, kMaxRate = 6;
const double kDisplayMargin = 1.3;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The next white-space separated word from pos on; pos moves past it. A view into line: the
// protocol is parsed without copying, as most lines of a build are chatter that carries nothing.
std::string_view nextWord(std::string_view line, size_t& pos) {
    while (pos < line.size() && isBlank(line[pos]))
        ++pos;
    size_t start = pos;
    while (pos < line.size() && !isBlank(line[pos]))
        ++pos;
    return line.substr(start, pos - start);
}

// A decimal integer after leading blanks, saturated instead of overflowing; 0 without digits.
long long leadingInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        v = std::min<long long>(v * 10 + (text[i] - '0'), 1000000000);
    return negative ? -v : v;
}

// A decimal floating-point number after leading blanks; 0 when none starts there.
double leadingDouble(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    size_t start = i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    bool digits = false;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
        ++i, digits = true;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i, digits = true;
    }
    if (!digits) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t e = i + 1;
        if (e < text.size() && (text[e] == '-' || text[e] == '+')) ++e;
        if (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) {
            while (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e])))
                ++e;
            i = e;
        }
    }
    // strtod on a copy that holds only the number: no locale, no hex, no inf or nan to surprise us.
    double v = std::strtod(std::string(text.substr(start, i - start)).c_str(), nullptr);
    return std::isfinite(v) ? v : 0;
}

} // namespace

const char* stepLabelText(const std::string& name) {
    for (const StepInfo& s : kSteps)
        if (name == s.name) return ui::tr(s.en, s.fr);
    return name.c_str();
}

std::string stepLabel(const std::string& name) {
    return stepLabelText(name);
}

// --- protocol
// -----------------------------------------------------------------------------------------

void BuildProgress::reset(double now) {
    steps.clear();
    for (const StepInfo& s : kSteps) {
        BuildStep step;
        step.name = s.name;
        step.weight = s.weight;
        steps.push_back(step);
    }
    failedStep.clear();
    error.clear();
    output.clear();
    finished = false;
    runStart = now;
}

namespace {

enum class Keyword { None, Progress, Percent, Skip, Done, Error, Result };

Keyword keywordOf(std::string_view word) {
    if (word == "PROGRESS") return Keyword::Progress;
    if (word == "PERCENT") return Keyword::Percent;
    if (word == "SKIP") return Keyword::Skip;
    if (word == "DONE") return Keyword::Done;
    if (word == "ERROR") return Keyword::Error;
    if (word == "RESULT") return Keyword::Result;
    return Keyword::None;
}

} // namespace

void BuildProgress::parse(std::string_view line, double now) {
    size_t pos = 0;
    const Keyword keyword = keywordOf(nextWord(line, pos));
    if (keyword == Keyword::None) return;
    const std::string_view stepName = nextWord(line, pos);
    std::string_view rest = line.substr(pos);
    if (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);

    int index = -1;
    for (size_t i = 0; i < steps.size(); ++i)
        if (steps[i].name == stepName) index = int(i);

    if (keyword == Keyword::Progress && index >= 0) {
        for (int i = 0; i < index; ++i)
            if (steps[size_t(i)].state == StepState::Running)
                steps[size_t(i)].state = StepState::Done;
        BuildStep& s = steps[size_t(index)];
        s.state = StepState::Running;
        s.percent = 0;
        s.startedAt = now;
    } else if (keyword == Keyword::Percent && index >= 0) {
        steps[size_t(index)].percent = int(std::clamp<long long>(leadingInt(rest), 0, 100));
    } else if (keyword == Keyword::Skip && index >= 0) {
        steps[size_t(index)].state = StepState::Skipped;
    } else if (keyword == Keyword::Done && index >= 0) {
        BuildStep& s = steps[size_t(index)];
        s.state = StepState::Done;
        s.percent = 100;
        size_t blank = rest.find(' ');
        s.seconds = blank == std::string_view::npos ? 0 : leadingDouble(rest.substr(blank + 1));
    } else if (keyword == Keyword::Error) {
        failedStep = stepName;
        error = rest;
        if (index >= 0) steps[size_t(index)].state = StepState::Failed;
    } else if (keyword == Keyword::Result) {
        finished = true;
    }
}

void BuildProgress::keep(std::string&& line) {
    if (output.size() >= kOutputLinesKept) output.pop_front();
    if (line.size() > kOutputLineMax) line.resize(kOutputLineMax);
    output.push_back(std::move(line));
}

void BuildProgress::feed(const std::string& line, double now) {
    keep(std::string(line.data(), std::min(line.size(), kOutputLineMax)));
    parse(line, now);
}

void BuildProgress::feed(std::vector<std::string>&& lines, double now) {
    for (const std::string& line : lines)
        parse(line, now);
    // Only the newest lines can stay in the bounded tail: a burst longer than the tail keeps its
    // own last part, which is what feeding the lines one by one would have left.
    const size_t first = lines.size() > kOutputLinesKept ? lines.size() - kOutputLinesKept : 0;
    for (size_t i = first; i < lines.size(); ++i)
        keep(std::move(lines[i]));
    lines.clear();
}

int BuildProgress::runningStep() const {
    for (size_t i = 0; i < steps.size(); ++i)
        if (steps[i].state == StepState::Running) return int(i);
    return -1;
}

// --- figures
// ------------------------------------------------------------------------------------------

double BuildProgress::fraction() const {
    if (steps.empty()) return finished ? 1 : 0;
    if (finished) return 1;
    double total = 0, done = 0;
    for (const BuildStep& s : steps) {
        if (s.state == StepState::Skipped) continue;
        total += s.weight;
        if (s.state == StepState::Done) done += s.weight;
        if (s.state == StepState::Running) done += s.weight * s.percent / 100.0;
    }
    return total > 0 ? std::clamp(done / total, 0.0, 1.0) : 0;
}

double BuildProgress::remainingSeconds(double now) const {
    if (steps.empty()) return now - runStart < kWarmUpSeconds ? -1 : 0;
    double left = 0, seen = 0, seenWeight = 0;
    for (const BuildStep& s : steps) {
        switch (s.state) {
        case StepState::Skipped:
            break;
        case StepState::Done:
            seen += s.seconds;
            seenWeight += s.weight;
            break;
        case StepState::Running: {
            double part = s.percent * s.weight / 100.0;
            left += s.weight - part;
            if (s.percent >= kMinPercent) {
                seen += now - s.startedAt;
                seenWeight += part;
            }
            break;
        }
        case StepState::Pending:
        case StepState::Failed:
            left += s.weight;
            break;
        }
    }
    if (now - runStart < kWarmUpSeconds) return -1;
    if (seenWeight >= kMinSeenWeight)
        return left * std::clamp(seen / seenWeight, kMinRate, kMaxRate);
    return left;
}

std::string estimateText(const BuildProgress& progress, double now) {
    std::string text = ui::tr("Elapsed ", "Écoulé ") + formatDuration(now - progress.runStart);
    double r = progress.remainingSeconds(now);
    if (r < 0) return text;
    double minutes = std::ceil(r * kDisplayMargin / 60);
    char buf[64];
    if (minutes <= 1)
        snprintf(buf, sizeof buf, "%s",
                 ui::tr("about a minute left", "environ une minute restante"));
    else
        snprintf(buf, sizeof buf, ui::tr("about %d min left", "environ %d min restantes"),
                 int(std::min(minutes, 1e9)));
    return text + "  ·  " + buf;
}
