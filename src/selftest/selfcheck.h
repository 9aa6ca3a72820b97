// The release self-check of the text mode.
#pragma once

#include <string>

struct LaunchOptions;

// Appends the check's lines to report; true when no check failed.
bool runSelfCheck(const LaunchOptions& opts, std::string& report);
