// The disc check's verdict from any output lines: an acceptance line starts with "OK", and the
// detail is always a whole line or the reason of an "ERROR verify " line.
#include "fuzz_support.h"
#include "prep/disc_verdict.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> lines = qmfuzz::lines(data, size);
    const DiscVerdict v = readDiscCheckLines(lines);
    QM_FUZZ_EXPECT(v.okLine.empty() || v.okLine.compare(0, 2, "OK") == 0, v.okLine);
    if (v.detail.empty()) return 0;
    bool found = false;
    for (const std::string& line : lines)
        found = found || line == v.detail || line == "ERROR verify " + v.detail;
    QM_FUZZ_EXPECT(found, v.detail);
    return 0;
}
