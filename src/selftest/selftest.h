// The scripted self-test: a list of steps that drive the real window, one call per frame.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

struct App;
struct LaunchOptions;

struct SelftestStep {
    std::string name;
    // Called once per frame with the seconds since the step began (exactly 0 on the first call)
    // until it answers true.
    std::function<bool(App&, double)> run;
};

struct Selftest {
    std::string disc; // the self-test is active exactly when this is not empty
    std::string shotsDir;
    std::string wrongDisc;
    bool errorDemo = false;
    bool cancel = false;
    bool screens = false;
    bool failed = false;
    double playSeconds = 40;
    double crashSeconds = 0;
    FILE* logFile = nullptr;
    double logStart = 0;
    std::vector<SelftestStep> steps;
    size_t current = 0;
    double stepStart = 0;
    double buildStart = 0;
    std::string captureDir;

    // A test build's own script, which build() runs instead of the launcher's; empty in the
    // launcher itself.
    static void (*testScript)(Selftest&);

    ~Selftest();
    bool active() const { return !disc.empty(); }
    bool finished() const { return current >= steps.size(); }

    void setUp(App& app, const LaunchOptions& opts);
    void build();
    void buildScreens();
    void step(App& app);

    // Checks the self-test's disc and logs the verdict.
    SelftestStep discCheck();
    // A step that runs the action once and goes on.
    static SelftestStep instant(const char* name, std::function<void(App&)> action);
    // A step that waits, then saves the next drawn frame as shotsDir/name.png.
    SelftestStep shot(const std::string& name, double wait);
    // Points the game's window captures at captureDir/name, when the caller asked for captures.
    void setCaptureDir(const char* name);

    // The run log, selftest.log in shotsDir.
    void openLog();
    void closeLog();
    void log(const char* format, const std::string& a = "", const std::string& b = "");
    // Logs only when the log is open.
    void note(const char* format, const std::string& a = "", const std::string& b = "") {
        if (logFile) log(format, a, b);
    }

private:
    SelftestStep vanishingDiscTest();
    SelftestStep buildTest();
    SelftestStep playTest();
    SelftestStep crashTest();
    void logGameEnd(App& app);
};
