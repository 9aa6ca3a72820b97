// The states of the Play tab (with its update block and game result), the preparing and failure
// panels and the Maintenance tab, for the sweep of screens_test.cpp.
#pragma once

#include "ui/harness.h"

#include <functional>
#include <string>
#include <vector>

struct App;

struct UiState {
    const char* name;
    // Sets the state up; root is an empty folder of the test's own for real files.
    std::function<void(App&, Headless&, const std::string& root)> set;
};

const std::vector<UiState>& cardStates();

// A short release-notes section with headings, inline Markdown and a line to wrap, for What's new.
extern const char* const kSampleChangelog;

// A newer release 0.7.0, as the update check reports it.
UpdateCheckResult newerRelease();
