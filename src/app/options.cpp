// Command line: the option table · the walk over the arguments · the version report.
#include "app/options.h"

#include "app/identity.h"
#include "app/scan.h"

#include <cfloat>
#include <cmath>
#include <variant>

namespace {

struct Option {
    const char* name;
    // What the option sets: a flag needs no value, texts and numbers take the next argument.
    std::variant<bool LaunchOptions::*, std::string LaunchOptions::*, double LaunchOptions::*,
                 float LaunchOptions::*>
        field;
};

const Option kOptions[] = {
    {"--release", &LaunchOptions::release},
    {"--selftest", &LaunchOptions::selftest},
    {"--shots", &LaunchOptions::shots},
    {"--wrong", &LaunchOptions::wrong},
    {"--error-demo", &LaunchOptions::errorDemo},
    {"--cancel", &LaunchOptions::cancel},
    {"--play-seconds", &LaunchOptions::playSeconds},
    {"--crash-seconds", &LaunchOptions::crashSeconds},
    {"--screens", &LaunchOptions::screens},
    {"--ui-scale", &LaunchOptions::uiScale},
    {"--update-url", &LaunchOptions::updateUrl},
    {"--download-prefix", &LaunchOptions::downloadPrefix},
    {"--update-now", &LaunchOptions::updateNow},
    {"--self-check", &LaunchOptions::selfCheck},
    {"--report", &LaunchOptions::report},
    {"--version", &LaunchOptions::version},
};

const Option* findOption(const std::string& arg) {
    for (const Option& option : kOptions)
        if (arg == option.name) return &option;
    return nullptr;
}

// A double beyond the float range has no float value to convert to; it becomes an infinity.
float toFloat(double v) {
    if (v > FLT_MAX) return HUGE_VALF;
    if (v < -FLT_MAX) return -HUGE_VALF;
    return static_cast<float>(v);
}

} // namespace

LaunchOptions parseOptions(const std::vector<std::string>& args, const std::string& exeDir) {
    LaunchOptions opts;
    for (size_t i = 0; i < args.size(); ++i) {
        const Option* option = findOption(args[i]);
        if (!option) continue;
        if (auto* flag = std::get_if<bool LaunchOptions::*>(&option->field)) {
            opts.*(*flag) = true;
            continue;
        }
        std::string value;
        if (i + 1 < args.size()) value = args[++i];
        if (auto* text = std::get_if<std::string LaunchOptions::*>(&option->field))
            opts.*(*text) = value;
        else if (auto* number = std::get_if<double LaunchOptions::*>(&option->field))
            opts.*(*number) = scanDouble(value);
        else if (auto* scale = std::get_if<float LaunchOptions::*>(&option->field))
            opts.*(*scale) = toFloat(scanDouble(value));
    }
    if (opts.release.empty()) opts.release = exeDir;
    return opts;
}

bool textMode(const LaunchOptions& options) {
    return options.version || !options.selfCheck.empty();
}

std::string versionReport() {
    return std::string("version ") + kLauncherVersion + "\ncommit " + launcherCommit() + "\n";
}
