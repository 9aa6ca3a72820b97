// The installer's protocol lines: any output of apply_update.py changes only the install fields,
// and a phase other than "done" is always the text of a "step " line.
#include "app/app.h"
#include "fuzz_support.h"
#include "update/install.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static App app; // built once: its construction reads nothing and starts nothing
    app.installPhase.clear();
    app.installError.clear();
    app.installGot = 0;
    app.installTotal = 0;
    const int32_t state = app.installState;
    const std::vector<std::string> lines = qmfuzz::lines(data, size);
    for (const std::string& line : lines)
        applyInstallerLine(app, line);
    QM_FUZZ_EXPECT(app.installState == state, "state");
    if (!app.installPhase.empty() && app.installPhase != "done") {
        bool found = false;
        for (const std::string& line : lines)
            found = found || line == "step " + app.installPhase;
        QM_FUZZ_EXPECT(found, app.installPhase);
    }
    return 0;
}
