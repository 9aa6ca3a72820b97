#include "prep/duration.h"

#include <cmath>
#include <cstdio>

std::string formatDuration(double seconds) {
    // Capped far beyond any real build so that the hours always fit the "%d" they are written
    // with, whatever an edited settings file holds.
    constexpr double kMax = 1e12;
    double clamped = seconds > 0 ? std::fmin(seconds, kMax) : 0.0;
    long long total = std::llround(clamped);
    long long hours = total / 3600;
    int minutes = static_cast<int>(total / 60 % 60);
    int secs = static_cast<int>(total % 60);
    char buf[48];
    if (hours == 0)
        std::snprintf(buf, sizeof buf, "%d:%02d", minutes, secs);
    else
        std::snprintf(buf, sizeof buf, "%d:%02d:%02d", static_cast<int>(hours), minutes, secs);
    return buf;
}
