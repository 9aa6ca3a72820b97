// The command line: the options that choose the run mode and steer the self-test, and the
// version report of the text mode.
#pragma once

#include <string>
#include <vector>

struct LaunchOptions {
    std::string release;        // --release: the release folder; the executable's folder if empty
    std::string selftest;       // --selftest: disc image of the scripted self-test
    std::string shots;          // --shots: the self-test's output folder
    std::string wrong;          // --wrong: an image the self-test expects to be refused
    bool errorDemo = false;     // --error-demo
    bool cancel = false;        // --cancel
    double playSeconds = 40;    // --play-seconds
    double crashSeconds = 0;    // --crash-seconds
    bool screens = false;       // --screens
    float uiScale = 0;          // --ui-scale: 0 or less lets the display decide
    std::string updateUrl;      // --update-url
    std::string downloadPrefix; // --download-prefix
    bool updateNow = false;     // --update-now
    std::string selfCheck;      // --self-check: text mode with the release self-check on this file
    std::string report;         // --report: the text mode's report goes into this file
    bool version = false;       // --version
};

// args without the program's own name. Unknown arguments are skipped, a later option wins, and
// an option that needs a value but comes last gets empty text (numbers: 0).
LaunchOptions parseOptions(const std::vector<std::string>& args, const std::string& exeDir);

// Text mode (no window): --version, or --self-check with a file.
bool textMode(const LaunchOptions& options);

// The first two lines of every text-mode report: "version 0.6.1" and "commit <id>".
std::string versionReport();
