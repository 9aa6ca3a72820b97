// Durations as the interface shows them: "1:05" below an hour, "1:02:05" from an hour on.
#pragma once

#include <string>

// Rounded to whole seconds; a negative (or not-a-number) duration counts as 0.
std::string formatDuration(double seconds);
