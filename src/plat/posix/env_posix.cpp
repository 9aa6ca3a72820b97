// Arguments, environment, language and the error box on POSIX systems.
#include "plat/env.h"

#include <SDL3/SDL_messagebox.h>
#include <cstdio>
#include <cstdlib>

namespace plat {

std::vector<std::string> commandLineArgs(int argc, char** argv) {
    // POSIX hands the arguments over as the bytes the caller gave: UTF-8 on our desktops.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return args;
}

std::string getEnv(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

void setEnv(const char* name, const std::string& value) {
    if (value.empty())
        unsetenv(name);
    else
        setenv(name, value.c_str(), 1);
}

std::string systemLanguage() {
    // The first of these that is set names the language, as gettext decides; LANGUAGE may list
    // several, the first one counts.
    for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        std::string v = getEnv(var);
        if (v.empty()) continue;
        std::string lang = v.substr(0, v.find_first_of(":_.@"));
        if (lang == "C" || lang == "POSIX") return "en";
        return lang == "fr" ? "fr" : "en";
    }
    return "en";
}

void errorBox(const std::string& title, const std::string& text) {
    // Without a display SDL cannot show a box; the text then goes to the terminal that started us.
    if (!SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), text.c_str(), nullptr)) {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    }
}

} // namespace plat
