// The interface tests' program: the desktop stand-ins, then GoogleTest.
#include "support/temp_dir.h"
#include "ui/sandbox.h"

#include "plat/env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

TempDir* sandbox = nullptr;

const char* const kZenity = R"sh(#!/bin/sh
if [ "$1" = "--version" ]; then echo 4.0.0; exit 0; fi
printf '%s\n' "$@" > "$QM_FAKE_DESKTOP/zenity-args"
cat "$QM_FAKE_DESKTOP/zenity-answer" 2>/dev/null
if [ -f "$QM_FAKE_DESKTOP/zenity-status" ]; then exit "$(cat "$QM_FAKE_DESKTOP/zenity-status")"; fi
exit 1
)sh";

const char* const kXdgOpen = R"sh(#!/bin/sh
printf '%s\n' "$1" >> "$QM_FAKE_DESKTOP/opened"
)sh";

void install(const std::string& dir, const char* name, const char* script) {
    const std::string path = dir + "/" + name;
    TempDir::writeTo(path, script);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

} // namespace

const std::string& fakeDesktopDir() {
    static const std::string dir = sandbox->path();
    return dir;
}

void setDialogAnswer(const std::string& printed, int status) {
    std::filesystem::remove(fakeDesktopDir() + "/zenity-args");
    TempDir::writeTo(fakeDesktopDir() + "/zenity-answer", printed);
    TempDir::writeTo(fakeDesktopDir() + "/zenity-status", std::to_string(status));
}

std::vector<std::string> lastDialogArgs() {
    std::vector<std::string> args;
    std::istringstream in(readBytes(fakeDesktopDir() + "/zenity-args"));
    for (std::string line; std::getline(in, line);)
        args.push_back(line);
    return args;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    sandbox = new TempDir;
    const std::string bin = sandbox->file("bin");
    std::filesystem::create_directory(bin);
    install(bin, "zenity", kZenity);
    install(bin, "xdg-open", kXdgOpen);
    plat::setEnv("QM_FAKE_DESKTOP", sandbox->path());
    plat::setEnv("PATH", bin + ":" + plat::getEnv("PATH"));
    plat::setEnv("SDL_FILE_DIALOG_DRIVER", "zenity");
    int result = RUN_ALL_TESTS();
    delete sandbox;
    return result;
}
