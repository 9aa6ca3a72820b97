// The build script's progress protocol: any lines fed to BuildProgress keep its figures in range,
// and the panel's texts can be drawn from them.
#include "fuzz_support.h"
#include "prep/duration.h"
#include "prep/progress.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BuildProgress progress;
    progress.reset(100.0);
    double now = 100.0;
    for (const std::string& line : qmfuzz::lines(data, size)) {
        progress.feed(line, now);
        now += 0.75;
    }
    QM_FUZZ_EXPECT(progress.steps.size() == 8, "steps");
    QM_FUZZ_EXPECT(progress.output.size() <= kOutputLinesKept, "output");
    for (const BuildStep& s : progress.steps) {
        QM_FUZZ_EXPECT(s.percent >= 0 && s.percent <= 100, s.name);
        QM_FUZZ_EXPECT(std::isfinite(s.seconds), s.name);
        formatDuration(s.seconds);
    }
    const double f = progress.fraction();
    QM_FUZZ_EXPECT(f >= 0 && f <= 1, std::to_string(f));
    for (double at : {now, now + 10, now + 1e9}) {
        const double left = progress.remainingSeconds(at);
        QM_FUZZ_EXPECT(std::isfinite(left) && (left >= 0 || left == -1), std::to_string(left));
        estimateText(progress, at);
    }
    const int running = progress.runningStep();
    QM_FUZZ_EXPECT(running >= -1 && running < 8, std::to_string(running));
    return 0;
}
