// The progress protocol, the overall fraction and the time estimate, against the worked examples
// the estimate was designed with.
#include "prep/progress.h"
#include "ui/lang.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

BuildProgress fresh(double now = 100) {
    BuildProgress p;
    p.reset(now);
    return p;
}

const BuildStep& step(const BuildProgress& p, const char* name) {
    for (const BuildStep& s : p.steps)
        if (s.name == name) return s;
    static BuildStep none;
    return none;
}

TEST(Protocol, ResetHasTheEightStepsWithTheirWeights) {
    BuildProgress p = fresh();
    const char* names[] = {"verify",    "extract", "configure", "tools",
                           "recompile", "packs",   "compile",   "stage"};
    ASSERT_EQ(p.steps.size(), 8u);
    double total = 0;
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(p.steps[i].name, names[i]);
        EXPECT_EQ(p.steps[i].state, StepState::Pending);
        total += p.steps[i].weight;
    }
    EXPECT_EQ(total, 408);
}

struct PercentCase {
    const char* line;
    int percent;
};

TEST(Protocol, PercentIsAnIntegerHeldWithin0And100) {
    const PercentCase cases[] = {
        {"PERCENT compile 42", 42},  {"PERCENT compile 150", 100},
        {"PERCENT compile -5", 0},   {"PERCENT compile 37.9", 37},
        {"PERCENT compile   7x", 7}, {"PERCENT compile", 0},
        {"PERCENT compile abc", 0},  {"PERCENT compile 99999999999999999999999", 100},
    };
    for (const auto& c : cases) {
        BuildProgress p = fresh();
        p.feed("PROGRESS compile", 1);
        p.feed(c.line, 2);
        EXPECT_EQ(step(p, "compile").percent, c.percent) << c.line;
        EXPECT_EQ(step(p, "compile").state, StepState::Running) << c.line;
    }
}

TEST(Protocol, ProgressEndsEveryEarlierRunningStepOnly) {
    BuildProgress p = fresh();
    p.feed("PROGRESS extract", 1);
    p.feed("PROGRESS tools", 2);
    p.feed("PROGRESS stage", 3); // a later step that is Running stays so
    p.feed("PROGRESS packs", 4);
    EXPECT_EQ(step(p, "extract").state, StepState::Done);
    EXPECT_EQ(step(p, "tools").state, StepState::Done);
    EXPECT_EQ(step(p, "configure").state, StepState::Pending);
    EXPECT_EQ(step(p, "packs").state, StepState::Running);
    EXPECT_EQ(step(p, "packs").startedAt, 4);
    EXPECT_EQ(step(p, "stage").state, StepState::Running);
    EXPECT_EQ(p.runningStep(), 5);
}

struct DoneCase {
    const char* line;
    double seconds;
};

TEST(Protocol, DoneReadsTheNumberAfterTheFirstBlankOfTheRest) {
    const DoneCase cases[] = {
        {"DONE verify took 2.5", 2.5}, {"DONE verify in   12", 12}, {"DONE verify", 0},
        {"DONE verify 3.5", 0},        {"DONE verify took", 0},     {"DONE verify took 1e2s", 100},
        {"DONE verify took nan", 0},   {"DONE verify  took 4", 0},
    };
    for (const auto& c : cases) {
        BuildProgress p = fresh();
        p.feed(c.line, 1);
        EXPECT_EQ(step(p, "verify").state, StepState::Done) << c.line;
        EXPECT_EQ(step(p, "verify").percent, 100) << c.line;
        EXPECT_DOUBLE_EQ(step(p, "verify").seconds, c.seconds) << c.line;
    }
}

TEST(Protocol, ErrorSkipResultAndUnknownLines) {
    BuildProgress p = fresh();
    p.feed("SKIP verify", 1);
    p.feed("SKIP nonsense", 1);
    p.feed("progress packs", 1); // keywords are case-sensitive
    p.feed("ERROR linker  the linker crashed", 2);
    EXPECT_EQ(step(p, "verify").state, StepState::Skipped);
    EXPECT_EQ(step(p, "packs").state, StepState::Pending);
    EXPECT_EQ(p.failedStep, "linker");
    EXPECT_EQ(p.error, " the linker crashed");
    for (const BuildStep& s : p.steps)
        EXPECT_NE(s.state, StepState::Failed);
    p.feed("ERROR compile cc1 failed", 3);
    EXPECT_EQ(step(p, "compile").state, StepState::Failed);
    EXPECT_EQ(p.error, "cc1 failed");
    EXPECT_FALSE(p.finished);
    p.feed("RESULT whatever", 4);
    EXPECT_TRUE(p.finished);
    EXPECT_EQ(p.output.size(), 6u);
}

TEST(Protocol, OutputIsBoundedInLinesAndLineLength) {
    BuildProgress p = fresh();
    for (size_t i = 0; i < kOutputLinesKept + 5; ++i)
        p.feed("line " + std::to_string(i), 1);
    EXPECT_EQ(p.output.size(), kOutputLinesKept);
    EXPECT_EQ(p.output.front(), "line 5");
    p.feed(std::string(kOutputLineMax + 10, 'x'), 1);
    EXPECT_EQ(p.output.back().size(), kOutputLineMax);
}

// The frame loop hands a frame's lines over as one batch; whatever the batch's size, the record
// must be the one that feeding the same lines one at a time leaves, tail included.
TEST(Protocol, ABatchLeavesWhatFeedingEachLineLeaves) {
    std::vector<std::string> lines = {
        "PROGRESS verify", "INFO reading",     "DONE verify took 2.5 s",
        "PROGRESS packs",  "PERCENT packs 37", std::string(kOutputLineMax + 3, 'y')};
    for (size_t i = 0; i < kOutputLinesKept; ++i)
        lines.push_back("chatter " + std::to_string(i));
    lines.push_back("ERROR packs bad texture");
    for (size_t split : {size_t(0), size_t(3), lines.size() - 2}) {
        BuildProgress one = fresh(), batch = fresh();
        for (const std::string& line : lines)
            one.feed(line, 7);
        batch.feed(std::vector<std::string>(lines.begin(), lines.begin() + long(split)), 7);
        batch.feed(std::vector<std::string>(lines.begin() + long(split), lines.end()), 7);
        for (size_t i = 0; i < one.steps.size(); ++i) {
            EXPECT_EQ(batch.steps[i].state, one.steps[i].state) << one.steps[i].name;
            EXPECT_EQ(batch.steps[i].percent, one.steps[i].percent) << one.steps[i].name;
            EXPECT_EQ(batch.steps[i].seconds, one.steps[i].seconds) << one.steps[i].name;
        }
        EXPECT_EQ(batch.failedStep, one.failedStep);
        EXPECT_EQ(batch.error, one.error);
        EXPECT_EQ(batch.output, one.output) << "split at " << split;
    }
}

TEST(Figures, FractionCountsOnlyTheStepsStillToDo) {
    BuildProgress p = fresh();
    EXPECT_EQ(p.fraction(), 0);
    for (const char* s : {"verify", "extract", "tools"})
        p.feed(std::string("SKIP ") + s, 1);
    p.feed("PROGRESS configure", 1);
    p.feed("PERCENT configure 50", 1);
    EXPECT_NEAR(p.fraction(), 30.0 / 398, 1e-12);
    p.feed("RESULT", 2);
    EXPECT_EQ(p.fraction(), 1);
    BuildProgress empty;
    EXPECT_EQ(empty.fraction(), 0);
    empty.finished = true;
    EXPECT_EQ(empty.fraction(), 1);
}

TEST(Figures, NoEstimateDuringTheWarmUp) {
    BuildProgress p = fresh(100);
    EXPECT_EQ(p.remainingSeconds(104.9), -1);
    ui::french = false;
    EXPECT_EQ(estimateText(p, 103), "Elapsed 0:03");
    BuildProgress empty;
    empty.runStart = 100;
    EXPECT_EQ(empty.remainingSeconds(101), -1);
    EXPECT_EQ(empty.remainingSeconds(106), 0);
}

TEST(Figures, BelowTwentyObservedUnitsOneUnitIsOneSecond) {
    BuildProgress p = fresh(100);
    p.feed("PROGRESS verify", 100);
    p.feed("DONE verify took 1", 101);
    EXPECT_DOUBLE_EQ(p.remainingSeconds(106), 407);
    ui::french = false;
    EXPECT_EQ(estimateText(p, 106), "Elapsed 0:06  ·  about 9 min left");
    ui::french = true;
    EXPECT_EQ(estimateText(p, 106), "Écoulé 0:06  ·  environ 9 min restantes");
    ui::french = false;
}

TEST(Figures, ObservedRateScalesWhatIsLeft) {
    BuildProgress p = fresh(0);
    for (const char* s : {"verify", "extract", "configure", "tools", "recompile"})
        p.feed(std::string("SKIP ") + s, 0);
    p.feed("DONE packs took 560", 0);
    EXPECT_DOUBLE_EQ(p.remainingSeconds(10), 112);
    EXPECT_EQ(estimateText(p, 600), "Elapsed 10:00  ·  about 3 min left");
}

struct RateCase {
    double packSeconds;
    double expected;
};

TEST(Figures, ObservedRateIsHeldWithinLimits) {
    for (auto c : {RateCase{2800, 56 * 6}, RateCase{28, 56 * 0.25}}) {
        BuildProgress p = fresh(0);
        p.feed("DONE packs took " + std::to_string(c.packSeconds), 0);
        for (const char* s : {"verify", "extract", "configure", "tools", "recompile"})
            p.feed(std::string("SKIP ") + s, 0);
        EXPECT_DOUBLE_EQ(p.remainingSeconds(10), c.expected);
    }
}

TEST(Figures, RunningStepBelowFivePercentAddsNoObservedTime) {
    BuildProgress p = fresh(0);
    for (const char* s :
         {"verify", "extract", "configure", "tools", "recompile", "compile", "stage"})
        p.feed(std::string("SKIP ") + s, 0);
    p.feed("PROGRESS packs", 0);
    p.feed("PERCENT packs 4", 0);
    EXPECT_NEAR(p.remainingSeconds(1000), 280 * 0.96, 1e-9);
    p.feed("PERCENT packs 50", 0);
    // 140 units observed in 1000 s: rate 7, held at 6.
    EXPECT_NEAR(p.remainingSeconds(1000), 140 * 6, 1e-9);
}

struct MinuteCase {
    double left;
    const char* text;
};

TEST(Figures, MinutesAreRoundedUpAfterTheMargin) {
    for (auto c : {MinuteCase{40, "about a minute left"}, MinuteCase{50, "about 2 min left"},
                   MinuteCase{0, "about a minute left"}}) {
        BuildProgress p;
        p.runStart = 0;
        // One pending step whose weight leaves exactly c.left seconds (one unit is one second).
        BuildStep s;
        s.name = "stage";
        s.weight = c.left;
        p.steps.push_back(s);
        EXPECT_EQ(estimateText(p, 30), std::string("Elapsed 0:30  ·  ") + c.text) << c.left;
    }
}

TEST(Labels, KnownStepsInBothLanguagesAndOtherNamesUnchanged) {
    ui::french = false;
    EXPECT_EQ(stepLabel("compile"), "Compiling (the long part)");
    ui::french = true;
    EXPECT_EQ(stepLabel("packs"), "Conversion des textures");
    ui::french = false;
    EXPECT_EQ(stepLabel("linker"), "linker");
}

} // namespace
