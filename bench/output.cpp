// Child output through plat::Process, as the frame loop takes it.
//
//   qm-bench-output lines PROGRAM [ARGS...]
//       Starts PROGRAM captured and drains takeLines() every 16 ms until its output has ended.
//       Prints "lines N seconds S".
//   qm-bench-output frames SECONDS PROGRAM [ARGS...]
//       Starts PROGRAM as the App's build and calls App::pollBuild() once every 16 666 666 ns
//       for SECONDS, timing each call. Prints "frames N p50_ms A p99_ms B max_ms C cpu_p50_ms D
//       cpu_p99_ms E running R": wall time, then the frame thread's processor time, per call
//       (R: 1 when the child still ran at the end, so that every frame met a flood).
//
// The reference of the first mode (cat into /dev/null) and the flood of the second
// (qm-bench-flood) come from bench/run_bench.py.
#include "app/app.h"
#include "plat/clock.h"
#include "plat/process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const auto kFrame = std::chrono::nanoseconds(16666666);

std::vector<std::string> argsFrom(int argc, char** argv, int first) {
    return std::vector<std::string>(argv + first, argv + argc);
}

int countLines(const std::string& program, const std::vector<std::string>& args) {
    plat::Process child;
    std::string err;
    const auto t0 = Clock::now();
    if (!child.start(program, args, "", true, err)) {
        std::fprintf(stderr, "cannot start %s: %s\n", program.c_str(), err.c_str());
        return 1;
    }
    long lines = 0;
    for (;;) {
        const bool ended = !child.running();
        if (ended) child.waitOutput(10000);
        lines += long(child.takeLines().size());
        if (ended) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("lines %ld seconds %.6f\n", lines, seconds);
    return 0;
}

// The frame thread's own processor time in milliseconds: unlike the wall time, it leaves out the
// moments in which a busy machine ran something else on the frame thread's core.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

int timeFrames(double seconds, const std::string& program, const std::vector<std::string>& args) {
    App app;
    std::string err;
    if (!app.build.start(program, args, "", true, err)) {
        std::fprintf(stderr, "cannot start %s: %s\n", program.c_str(), err.c_str());
        return 1;
    }
    app.progress.reset(plat::now());
    app.building = true;
    std::vector<double> ms, cpuMs;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    auto next = Clock::now();
    while (Clock::now() < end && app.building) {
        next += kFrame;
        std::this_thread::sleep_until(next);
        const auto t0 = Clock::now();
        const double c0 = threadCpuMs();
        app.pollBuild();
        cpuMs.push_back(threadCpuMs() - c0);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    const bool stillRunning = app.building;
    app.build.kill();
    std::printf("frames %zu p50_ms %.4f p99_ms %.4f max_ms %.4f cpu_p50_ms %.4f cpu_p99_ms %.4f "
                "running %d\n",
                ms.size(), percentile(ms, 0.5), percentile(ms, 0.99), percentile(ms, 1.0),
                percentile(cpuMs, 0.5), percentile(cpuMs, 0.99), stillRunning ? 1 : 0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "lines" && argc > 2) return countLines(argv[2], argsFrom(argc, argv, 3));
    if (mode == "frames" && argc > 3)
        return timeFrames(std::atof(argv[2]), argv[3], argsFrom(argc, argv, 4));
    std::fputs(
        "usage: qm-bench-output lines PROGRAM [ARGS...] | frames SECONDS PROGRAM [ARGS...]\n",
        stderr);
    return 2;
}
