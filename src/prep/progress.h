// What the build script's progress protocol reported for one run, and the figures drawn from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

enum class StepState : int32_t { Pending = 0, Running = 1, Done = 2, Skipped = 3, Failed = 4 };

struct BuildStep {
    std::string name;
    StepState state = StepState::Pending;
    int percent = 0;
    double seconds = 0;   // as the script reported it when the step ended
    double startedAt = 0; // plat::now() when the step started running in this run
    double weight = 0;    // expected share of the work
};

// The bounds of BuildProgress::output.
inline constexpr size_t kOutputLinesKept = 10000;
inline constexpr size_t kOutputLineMax = 1 << 20;

struct BuildProgress {
    std::vector<BuildStep> steps;
    std::string failedStep;
    std::string error;
    // The run's output lines, oldest first. Bounded, so that a build that prints without end
    // cannot grow the launcher without bound: nothing reads more than the last 60.
    std::deque<std::string> output;
    bool finished = false;
    double runStart = 0;

    void reset(double now);
    // One output line of the build: kept in output and, when it is a protocol line, applied.
    void feed(const std::string& line, double now);
    // A batch of lines, oldest first, as the reader queued them; the same as feeding each in turn.
    // The lines are moved out.
    void feed(std::vector<std::string>&& lines, double now);
    int runningStep() const;
    double fraction() const;
    double remainingSeconds(double now) const;

private:
    void parse(std::string_view line, double now);
    void keep(std::string&& line);
};

// The step's label in the interface language; any other name unchanged.
std::string stepLabel(const std::string& name);
// The same without a copy, for drawing every frame: the label's text, or name's own.
const char* stepLabelText(const std::string& name);
// "Elapsed 1:05  ·  about 3 min left", or only the elapsed part while there is no estimate.
std::string estimateText(const BuildProgress& progress, double now);
